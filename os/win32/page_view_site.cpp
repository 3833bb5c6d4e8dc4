#include "os/win32/page_view_site.h"

// clang-format off
#include <exdispid.h>
#include <ocidl.h>
// clang-format on

#include <cstdio>
#include <string>

namespace os::win32 {
namespace {

template <typename Interface>
void release(Interface** pointer) {
    if (*pointer != nullptr) (*pointer)->Release();
    *pointer = nullptr;
}

// The text of a VARIANT argument the browser passes by reference.
const wchar_t* variant_text(const VARIANT& value) {
    const VARIANT* v = &value;
    if (V_VT(v) == (VT_VARIANT | VT_BYREF) && V_VARIANTREF(v) != nullptr) v = V_VARIANTREF(v);
    if (V_VT(v) == VT_BSTR && V_BSTR(v) != nullptr) return V_BSTR(v);
    return L"";
}

}  // namespace

bool PageSite::start(const wchar_t* url, char* why, std::size_t why_size) {
    HRESULT result = CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_IOleObject, reinterpret_cast<void**>(&object_));
    const char* step = "CoCreateInstance(WebBrowser)";
    if (SUCCEEDED(result)) {
        step = "SetClientSite";
        result = object_->SetClientSite(static_cast<IOleClientSite*>(this));
    }
    if (SUCCEEDED(result)) {
        step = "DoVerb(in-place activate)";
        RECT area{};
        GetClientRect(window_, &area);
        result = object_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr,
                                 static_cast<IOleClientSite*>(this), 0, window_, &area);
    }
    if (SUCCEEDED(result)) {
        step = "IWebBrowser2";
        result = object_->QueryInterface(IID_IWebBrowser2, reinterpret_cast<void**>(&browser_));
    }
    if (SUCCEEDED(result)) {
        step = "DWebBrowserEvents2";
        IConnectionPointContainer* container = nullptr;
        result = browser_->QueryInterface(IID_IConnectionPointContainer,
                                          reinterpret_cast<void**>(&container));
        if (SUCCEEDED(result)) {
            result = container->FindConnectionPoint(DIID_DWebBrowserEvents2, &events_);
            container->Release();
        }
        if (SUCCEEDED(result)) result = events_->Advise(static_cast<IDispatch*>(this), &cookie_);
    }
    if (SUCCEEDED(result)) {
        // Script errors are the page's business, not a dialog box's.
        browser_->put_Silent(VARIANT_TRUE);
        step = "Navigate";
        BSTR address = SysAllocString(url);
        result = address != nullptr
                     ? browser_->Navigate(address, nullptr, nullptr, nullptr, nullptr)
                     : E_OUTOFMEMORY;
        SysFreeString(address);
    }
    if (FAILED(result)) {
        std::snprintf(why, why_size, "%s failed: 0x%08lx", step,
                      static_cast<unsigned long>(result));
        stop();
        return false;
    }
    return true;
}

bool PageSite::translate(MSG* message) {
    if (browser_ == nullptr || message->message < WM_KEYFIRST || message->message > WM_KEYLAST) {
        return false;
    }
    IOleInPlaceActiveObject* active = nullptr;
    if (FAILED(browser_->QueryInterface(IID_IOleInPlaceActiveObject,
                                        reinterpret_cast<void**>(&active)))) {
        return false;
    }
    const bool handled = active->TranslateAccelerator(message) == S_OK;
    active->Release();
    return handled;
}

void PageSite::resize() {
    RECT area{};
    GetClientRect(window_, &area);
    OnPosRectChange(&area);
}

void PageSite::stop() {
    if (events_ != nullptr && cookie_ != 0) events_->Unadvise(cookie_);
    cookie_ = 0;
    release(&events_);
    if (browser_ != nullptr) browser_->Stop();
    release(&browser_);
    if (object_ != nullptr) {
        object_->Close(OLECLOSE_NOSAVE);
        object_->SetClientSite(nullptr);
    }
    release(&object_);
}

STDMETHODIMP PageSite::QueryInterface(REFIID iid, void** out) {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IOleClientSite)) {
        *out = static_cast<IOleClientSite*>(this);
    } else if (IsEqualIID(iid, IID_IOleWindow) || IsEqualIID(iid, IID_IOleInPlaceSite)) {
        *out = static_cast<IOleInPlaceSite*>(this);
    } else if (IsEqualIID(iid, IID_IOleInPlaceUIWindow) || IsEqualIID(iid, IID_IOleInPlaceFrame)) {
        *out = static_cast<IOleInPlaceFrame*>(this);
    } else if (IsEqualIID(iid, IID_IDispatch) || IsEqualIID(iid, DIID_DWebBrowserEvents2)) {
        *out = static_cast<IDispatch*>(this);
    } else {
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) PageSite::AddRef() {
    return static_cast<ULONG>(InterlockedIncrement(&references_));
}

STDMETHODIMP_(ULONG) PageSite::Release() {
    const LONG left = InterlockedDecrement(&references_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
}

STDMETHODIMP PageSite::GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document,
                                        LPRECT position, LPRECT clip, LPOLEINPLACEFRAMEINFO info) {
    *frame = static_cast<IOleInPlaceFrame*>(this);
    AddRef();
    *document = nullptr;
    GetClientRect(window_, position);
    GetClientRect(window_, clip);
    info->fMDIApp = FALSE;
    info->hwndFrame = window_;
    info->haccel = nullptr;
    info->cAccelEntries = 0;
    return S_OK;
}

STDMETHODIMP PageSite::OnPosRectChange(LPCRECT area) {
    if (object_ == nullptr) return S_OK;
    IOleInPlaceObject* in_place = nullptr;
    if (SUCCEEDED(
            object_->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(&in_place)))) {
        in_place->SetObjectRects(area, area);
        in_place->Release();
    }
    return S_OK;
}

void PageSite::report_wide(PageViewEvent event, const wchar_t* text) {
    const int size = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string ansi(size > 0 ? static_cast<std::size_t>(size) : 1u, '\0');
    if (size > 0) WideCharToMultiByte(CP_ACP, 0, text, -1, &ansi[0], size, nullptr, nullptr);
    report(event, ansi.c_str());
}

STDMETHODIMP PageSite::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* parameters, VARIANT*,
                              EXCEPINFO*, UINT*) {
    // Arguments come last to first: rgvarg[0] is the event's last parameter.
    const UINT count = parameters != nullptr ? parameters->cArgs : 0;
    switch (id) {
        case DISPID_DOCUMENTCOMPLETE:  // (pDisp, URL)
            if (count >= 2)
                report_wide(PageViewEvent::kLoadFinished, variant_text(parameters->rgvarg[0]));
            break;
        case DISPID_TITLECHANGE:  // (Text)
            if (count >= 1) report_wide(PageViewEvent::kTitle, variant_text(parameters->rgvarg[0]));
            break;
        case DISPID_NAVIGATEERROR:  // (pDisp, URL, Frame, StatusCode, Cancel)
            if (count >= 5)
                report_wide(PageViewEvent::kLoadFailed, variant_text(parameters->rgvarg[3]));
            break;
        case DISPID_WINDOWCLOSING:  // (IsChildWindow, Cancel)
            // The page closes its window: this dialog ends with it, without
            // the control's own confirmation.
            if (count >= 2 && V_VT(&parameters->rgvarg[0]) == (VT_BOOL | VT_BYREF)) {
                *V_BOOLREF(&parameters->rgvarg[0]) = VARIANT_TRUE;
            }
            report(PageViewEvent::kClosedByPage, "");
            PostMessageA(window_, WM_CLOSE, 0, 0);
            break;
        default:
            break;
    }
    return S_OK;
}

}  // namespace os::win32
