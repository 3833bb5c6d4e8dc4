#include "autocheck/bound_modules.h"

sibling::HttpDownloadFileFunction HttpDownloadFile = nullptr;
sibling::HttpGetFunction HttpGet = nullptr;
sibling::HttpPostFunction HttpPost = nullptr;
sibling::PluginFunction GetDeviceInfo = nullptr;
sibling::GetAllUsbKeyCertFunction GetAllUsbKeyCert = nullptr;

os::Handle CheckPageProcess = nullptr;
