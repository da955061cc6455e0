#pragma once
// Loading an extension library the way the host does: open it, call its library entry for
// process attach, hand it the framework through DllRegisterClassObjects; and the reverse.
#include <iosfwd>
#include <memory>
#include <string>
#include <utility>

#include "com/Unknown.h"

namespace varnex {

// Who makes the framework class object reachable to the extension.
enum class FrameworkSource {
    Host, // the host registers it before loading the extension
    Extension, // nobody does: the extension loads the framework library itself
};

class Extension {
public:
    // Opens the library and runs its attach entry. Null with `error` set when the library cannot
    // be opened or lacks DllRegisterClassObjects.
    static std::unique_ptr<Extension> Load(const std::string& path, std::string& error);
    ~Extension(); // runs the detach entry and closes the library

    HRESULT RegisterClassObjects(IUnknown* framework);

private:
    using DllMainFn = BOOL (*)(void*, DWORD, void*);
    using RegisterFn = HRESULT (*)(IUnknown*);

    Extension(void* library, DllMainFn entry, RegisterFn registerClassObjects);
    void* mLibrary;
    DllMainFn mEntry;
    RegisterFn mRegister;
};

// A loaded extension and the registrations it made, let go of in the order the host shuts down:
// the class objects, message classes and tests it registered are released first, then the
// library is unloaded.
class RegisteredExtension {
public:
    explicit RegisteredExtension(std::unique_ptr<Extension> extension)
        : mExtension(std::move(extension))
    {
    }
    ~RegisteredExtension();
    RegisteredExtension(const RegisteredExtension&) = delete;
    RegisteredExtension& operator=(const RegisteredExtension&) = delete;

    Extension* operator->() const { return mExtension.get(); }

private:
    std::unique_ptr<Extension> mExtension;
};

// The framework class object of this process's framework library, registered in the class
// table for the host's lifetime when the source is Host.
class HostFramework {
public:
    explicit HostFramework(FrameworkSource source);
    ~HostFramework(); // revokes the registration, releases the object
    HostFramework(const HostFramework&) = delete;
    HostFramework& operator=(const HostFramework&) = delete;

    IUnknown* Object() const { return mObject; }
    HRESULT Result() const { return mResult; }

private:
    IUnknown* mObject = nullptr;
    DWORD mCookie = 0;
    HRESULT mResult = S_OK;
};

// `varnex list-classes`: loads the extension, lets it register, writes one line per registration
// to `out` and shuts the extension down again. Returns the process exit code.
int ListClasses(const std::string& extensionPath, FrameworkSource source, std::ostream& out, std::ostream& err);

} // namespace varnex
