#pragma once
// The host's own view of its framework library (libcaf.so): what the extension registered, the
// message boxes it asks for, the user-interface language and the receivers of routed messages.
// The extension never includes this; it reaches the framework only through its class objects.
#include <functional>
#include <string>
#include <vector>

#include "com/Unknown.h"
#include "hostframework/interfaces/FrameworkIds.h"
#include "hostframework/interfaces/HostServices.h"

extern "C" HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid, void** out);

namespace caf {

struct Registration {
    enum class Kind { ClassObject, MessageClass, UnitTest };
    Kind kind;
    IUnknown* object; // held by the framework until ReleaseRegistrations
};

// Objects of host classes that the host application serves itself, by class key (synthetic
// recordings and formula calculations for the self-tests): the framework's class object and its
// object factory ask the provider for keys they do not know. An empty provider removes it.
using HostClassProvider = std::function<HRESULT(DWORD classKey, REFIID iid, void** out)>;
void SetHostClassProvider(HostClassProvider provider);

// Everything handed to the framework, in the order it arrived.
std::vector<Registration> Registrations();
// Lets go of every registered object (the host's shut-down).
void ReleaseRegistrations();

// Message boxes are headless: each one is written as a diagnostic line and answered by the
// handler when one is set, else by the next scripted answer, else by the style's default button.
struct MessageBoxRequest {
    std::wstring text;
    std::wstring caption;
    UINT style = 0;
};
using MessageBoxHandler = std::function<int(const MessageBoxRequest&)>;
// Returns the previous handler; an empty handler restores the scripted/default answers.
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);
void QueueMessageBoxAnswer(int buttonId);
void ClearMessageBoxAnswers();
// The button a user would get by pressing Enter: the style's default button.
int DefaultMessageBoxAnswer(UINT style);

// Help topics: a request is written as one diagnostic line ("Help: HRVHelp HRV_Settings2") and
// handed to the handler when one is set (the desktop host opens the topic's page). The handler's
// answer is the request's; without a handler a request succeeds.
using HelpHandler = std::function<HRESULT(const std::wstring& helpFile, const std::wstring& topic)>;
// Returns the previous handler.
HelpHandler SetHelpHandler(HelpHandler handler);

// The language the application services report; resource texts are loaded in it too.
void SetUILanguage(WORD language);

// The application's named flags ("kel\application\visible": false while the host shows no window).
void SetApplicationFlag(const std::wstring& name, bool value);

// Build labels of pre-release modules: shown (logged and kept) unless the host hides them.
void SetBuildLabelsHidden(bool hidden);
std::vector<std::wstring> BuildLabels();

// The menu items the extension's classes registered, in registration order: the item's path of
// texts ("HRV|Analyse"; a path ending in '|' is a submenu, a last part "-" a separator), its
// command id and the class's command handler (not held: valid while the class object lives).
struct RegisteredCommand {
    GUID classGuid;
    IUnknown* handler = nullptr;
    DWORD id = 0;
    std::wstring path;
    bool group = false;
    // The item's text from its module's string table ("Analyze &while Sampling"); empty when
    // the item names no text.
    std::wstring text;
};
std::vector<RegisteredCommand> RegisteredCommands();

// Receivers of routed messages, offered each message in the order they were added.
void AddMessageReceiver(IMessageHandler* handler);
void RemoveMessageReceiver(IMessageHandler* handler);

} // namespace caf
