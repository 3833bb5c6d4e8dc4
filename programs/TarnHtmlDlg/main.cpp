// TarnHtmlDlg.exe, the page dialog: shows the page its command line names
// and ends when its window closes.
#include "os/page_view.h"
#include "programs/TarnHtmlDlg/command_line.h"
#include "programs/TarnHtmlDlg/dialog.h"

int main(int argc, char** argv) {
    return html_dlg::run_dialog(os::page_view_parameters(argc, argv, html_dlg::kQuotedKeys));
}
