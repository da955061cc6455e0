#pragma once
// The WebKitGTK engine of the web view: each web view is a WebKitWebView shown over its widget
// window through the gtk backend of the window system (platform/ui/gtk/GtkBackend.h), on the
// thread that runs that backend.
//
// A bound function `name` is a script-message handler with a reply: a script run at the start of
// every page defines window[name](...args), which posts JSON.stringify(args) to the handler and
// resolves with JSON.parse(reply), or rejects with the error text when the call is answered with
// a status other than 0 or the native function fails. Replies reach the page after the native
// function has returned. Pages are loaded with the base address vx::webview::kResourceBase,
// whose scheme is answered from the process's resource source.
#include <string>

namespace vx::webview {

// Installs the WebKitGTK engine for the process (vx::webview::SetEngine). Call it on the
// user-interface thread after the gtk backend is installed; false, with the reason in `error`,
// when that backend is not the one in use.
bool InstallWebKitEngine(std::string& error);

} // namespace vx::webview
