#include "hostframework/docview/DocView.h"

#include <new>

#include "hostframework/events/ComQuery.h"
#include "hostframework/services/CafFrameWork.h"

using vx::hf::Query;

namespace {

template <class I> HRESULT HandOut(I* object, I** out)
{
    if (!out)
        return S_OK;
    *out = object;
    if (object)
        object->AddRef();
    return S_OK;
}

} // namespace

// ---- OwlExtClientWindowBase

OwlExtClientWindowBase::~OwlExtClientWindowBase()
{
    DestroyWindow();
}

HRESULT OwlExtClientWindowBase::Attach(IHostClient* client, WindowHandle* window)
{
    if (mWindow)
        return E_FAIL;
    if (!client)
        return E_POINTER;
    mClient = client;
    WindowHandle parent = 0;
    client->GetParentWindow(&parent);
    IExtensionWindow* created = CreateExtensionWindow(parent, mModule);
    if (!created)
        return E_FAIL;
    if (!created->Create()) {
        delete created;
        return E_FAIL;
    }
    mWindow = created;
    if (window)
        *window = created->Handle();
    return S_OK;
}

HRESULT OwlExtClientWindowBase::Detach()
{
    DestroyWindow();
    mClient = nullptr;
    return S_OK;
}

void OwlExtClientWindowBase::DestroyWindow()
{
    if (IExtensionWindow* window = mWindow) {
        mWindow = nullptr;
        window->Destroy();
        delete window;
    }
}

// ---- DocViewBase

DocViewBase::DocViewBase(OwlDocViewClassBase* viewClass, IViewSite* site)
    : mViewClass(viewClass)
    , mSite(site)
{
    if (mSite)
        mSite->AddRef();
    if (mViewClass) {
        mViewClass->AddRef();
        mViewClass->AddViewRef(this);
    }
}

DocViewBase::~DocViewBase()
{
    if (mViewClass) {
        mViewClass->ReleaseViewRef(this);
        mViewClass->Release();
    }
    if (IViewSite* site = mSite) {
        mSite = nullptr;
        site->Release();
    }
}

const KEL::InterfaceMapEntry* DocViewBase::GetInterfaceMap()
{
    static const KEL::InterfaceMapEntry map[] = {
        KEL::MapEntry<DocViewBase, IDocView2>(),
        KEL::MapEntry<DocViewBase, IDocView>(),
        KEL::MapEntry<DocViewBase, IView>(),
        KEL::MapEntry<DocViewBase, ICAFCommandHandler>(),
        KEL::MapEntry<DocViewBase, IObserver>(),
        KEL::MapEntry<DocViewBase, IMessageHandler>(),
        KEL::kMapEnd,
    };
    return map;
}

HRESULT DocViewBase::QueryInterface(REFIID iid, void** out)
{
    return InternalQueryInterface(this, GetInterfaceMap(), iid, out);
}

ULONG DocViewBase::AddRef()
{
    return InternalAddRef();
}

ULONG DocViewBase::Release()
{
    return ReleaseObject(this);
}

HRESULT DocViewBase::GetTitle(IKELString** out)
{
    if (out)
        *out = nullptr;
    return S_FALSE;
}

HRESULT DocViewBase::CanClose(WORD* canClose)
{
    if (mSite)
        mSite->QueryClose(this, canClose);
    return S_OK;
}

HRESULT DocViewBase::Close()
{
    // The site's reference may be the last one: stay alive until the call is over.
    AddRef();
    ReleaseSite();
    Release();
    return S_OK;
}

void DocViewBase::ReleaseSite()
{
    if (IViewSite* site = mSite) {
        mSite = nullptr;
        site->ViewClosed(this);
        site->Release();
    }
}

HRESULT DocViewBase::SetNumberA(DWORD a)
{
    mA = a;
    return S_OK;
}

HRESULT DocViewBase::GetNumberA(DWORD* a)
{
    if (!a)
        return E_POINTER;
    *a = mA;
    return S_OK;
}

HRESULT DocViewBase::GetViewId(DWORD* classNumber, DWORD* instance)
{
    if (!classNumber || !instance)
        return E_POINTER;
    *classNumber = 0;
    if (mViewClass)
        mViewClass->GetClassId(classNumber);
    *instance = (mB << 16) | (mA & 0xFFFF);
    return S_OK;
}

HRESULT DocViewBase::Initialise()
{
    if (const auto link = Query<IViewClassLink>(mViewClass))
        link->ViewInitialised(this);
    if (mSite)
        mSite->ViewInitialised(this, mSite);
    return S_OK;
}

HRESULT DocViewBase::GetViewClass(IUnknown** out)
{
    return HandOut<IUnknown>(mViewClass ? static_cast<IDocViewClass*>(mViewClass) : nullptr, out);
}

HRESULT DocViewBase::GetSite(IViewSite** out)
{
    return HandOut(mSite, out);
}

HRESULT DocViewBase::GetExtra(IUnknown** out)
{
    if (out)
        *out = nullptr;
    return S_FALSE;
}

HRESULT DocViewBase::GetNumberB(DWORD* b)
{
    if (!b)
        return E_POINTER;
    *b = mB;
    return S_OK;
}

HRESULT DocViewBase::SetNumberB(DWORD b)
{
    mB = b;
    return S_OK;
}

// ---- DocWindowViewBase

DocWindowViewBase::DocWindowViewBase(OwlDocViewClassBase* viewClass, IViewSite* site, void* module)
    : OwlExtClientWindowBase(module)
    , DocViewBase(viewClass, site)
{
}

HRESULT DocWindowViewBase::QueryInterface(REFIID iid, void** out)
{
    if (out && iid == IClientWindow::kIid) {
        *out = static_cast<IClientWindow*>(this);
        AddRef();
        return S_OK;
    }
    return DocViewBase::QueryInterface(iid, out);
}

HRESULT DocWindowViewBase::CanClose(WORD* canClose)
{
    WORD flag = 0;
    if (IExtensionWindow* window = Window())
        flag = window->CanClose() ? 0xFFFF : 0;
    if (canClose)
        *canClose = flag;
    if (flag == 0)
        return 1;
    if (IViewSite* site = Site())
        site->QueryClose(this, &flag);
    if (canClose)
        *canClose = flag;
    return flag != 0 ? 0 : 1;
}

HRESULT DocWindowViewBase::Close()
{
    if (mClosed)
        return S_OK;
    if (IHostClient* client = Client())
        if (const HRESULT hr = client->LetGo())
            return hr;
    ClearClient();
    mClosed = 1;
    // The site's reference may be the last one: stay alive until the call is over.
    AddRef();
    DestroyWindow();
    ReleaseSite();
    Release();
    return S_OK;
}

// ---- OwlDocViewClassBase

OwlDocViewClassBase::OwlDocViewClassBase(
    const KEL::String& name, const GUID* category, DWORD value, const wchar_t* title)
    : mName(name)
    , mTitle(title ? KEL::String(title) : name)
    , mCategory(category)
    , mValue(value)
{
    // Handed to the host while it is being built: keep the count up so that a reference the host
    // takes and gives back cannot destroy it.
    mRefCount.fetch_add(1);
    if (IHostClassObject* host = ObjectFactoryAccessor::Get()) {
        void* out = nullptr;
        if (SUCCEEDED(host->CreateObject(kViewClassCounterpartClassKey, IGenericClassObject::kIid, &out))) {
            auto* factory = static_cast<IGenericClassObject*>(out);
            void* counterpart = nullptr;
            if (SUCCEEDED(factory->CreateInstance(static_cast<IDocViewClass*>(this), IUnknown::kIid, &counterpart)))
                mCounterpart = static_cast<IUnknown*>(counterpart);
            factory->Release();
        }
    }
    mRefCount.fetch_sub(1);
}

OwlDocViewClassBase::~OwlDocViewClassBase()
{
    if (mCounterpart)
        mCounterpart->Release();
    if (mCommandObject)
        mCommandObject->Release();
}

const KEL::InterfaceMapEntry* OwlDocViewClassBase::GetInterfaceMap()
{
    static const KEL::InterfaceMapEntry map[] = {
        KEL::MapEntry<OwlDocViewClassBase, IDocViewClass>(),
        KEL::MapEntry<OwlDocViewClassBase, IViewClass>(),
        KEL::MapEntry<OwlDocViewClassBase, ICAFClassObject>(),
        KEL::kMapEnd,
    };
    return map;
}

HRESULT OwlDocViewClassBase::QueryInterface(REFIID iid, void** out)
{
    const HRESULT hr = InternalQueryInterface(this, GetInterfaceMap(), iid, out);
    if (hr == E_NOINTERFACE && mCounterpart)
        return mCounterpart->QueryInterface(iid, out);
    return hr;
}

ULONG OwlDocViewClassBase::AddRef()
{
    return InternalAddRef();
}

ULONG OwlDocViewClassBase::Release()
{
    return ReleaseObject(this);
}

HRESULT OwlDocViewClassBase::GetCategory(const GUID** out)
{
    if (!out)
        return E_POINTER;
    *out = mCategory;
    return S_OK;
}

HRESULT OwlDocViewClassBase::GetTitle(IKELString** out)
{
    if (!out)
        return E_POINTER;
    *out = (mTitle.IsEmpty() ? mName : mTitle).CopyRep();
    return S_OK;
}

HRESULT OwlDocViewClassBase::IsCategory(const GUID* guid)
{
    if (!guid || !mCategory)
        return S_FALSE;
    return guid == mCategory || *guid == *mCategory ? S_OK : S_FALSE;
}

HRESULT OwlDocViewClassBase::GetName(IKELString** out)
{
    if (!out)
        return E_POINTER;
    *out = mName.CopyRep();
    return S_OK;
}

HRESULT OwlDocViewClassBase::GetModuleInstance(void** out)
{
    if (out)
        *out = nullptr;
    return E_NOTIMPL;
}

HRESULT OwlDocViewClassBase::GetValue(DWORD* value)
{
    if (!value)
        return E_POINTER;
    *value = mValue;
    return S_OK;
}

HRESULT OwlDocViewClassBase::Initialise()
{
    // A counterpart that does not answer the link is skipped.
    if (const auto link = Query<IViewClassLink>(static_cast<IDocViewClass*>(this)))
        link->ClassInitialised();
    if (const auto handler = Query<ICAFCommandHandler>(static_cast<IDocViewClass*>(this)))
        InsertCommands(handler.Get());
    return S_OK;
}

HRESULT OwlDocViewClassBase::AddViewRef(IDocView2*)
{
    mViewCount.fetch_add(1);
    return S_OK;
}

HRESULT OwlDocViewClassBase::ReleaseViewRef(IDocView2*)
{
    mViewCount.fetch_sub(1);
    return S_OK;
}

HRESULT OwlDocViewClassBase::GetViewCount(DWORD, DWORD* count)
{
    if (!count)
        return E_POINTER;
    *count = mViewCount.load();
    return S_OK;
}

void OwlDocViewClassBase::SetCommandObject(BYTE flag, IUnknown* object)
{
    if (object)
        object->AddRef();
    if (mCommandObject)
        mCommandObject->Release();
    mCommandObject = object;
    mFlag = flag;
}

// ---- KELCOM::IterEnum

namespace KELCOM {

std::atomic<long>& ModuleLockCount()
{
    static std::atomic<long> count { 0 };
    return count;
}

namespace {

class IterEnum : public IEnumInterface, public KEL::CComObjectRoot {
public:
    IterEnum(IUnknown* owner, const GUID* const* first, const GUID* const* end, const GUID* const* position)
        : mPosition(position)
        , mOwner(owner)
        , mFirst(first)
        , mEnd(end)
    {
        ModuleLockCount().fetch_add(1);
        if (mOwner)
            mOwner->AddRef();
    }
    ~IterEnum() override
    {
        if (mOwner)
            mOwner->Release();
        ModuleLockCount().fetch_sub(1);
    }

    static const KEL::InterfaceMapEntry* GetInterfaceMap()
    {
        static const KEL::InterfaceMapEntry map[] = { KEL::MapEntry<IterEnum, IEnumInterface>(), KEL::kMapEnd };
        return map;
    }

    HRESULT Next(ULONG count, GUID* items, ULONG* fetched) override
    {
        if (!items || (!fetched && count != 1))
            return E_POINTER;
        ULONG copied = 0;
        while (copied < count && mPosition != mEnd)
            items[copied++] = **mPosition++;
        if (fetched)
            *fetched = copied;
        return copied == count ? S_OK : S_FALSE;
    }

    HRESULT Skip(ULONG count) override
    {
        ULONG skipped = 0;
        while (skipped < count && mPosition != mEnd) {
            ++mPosition;
            ++skipped;
        }
        return skipped == count ? S_OK : S_FALSE;
    }

    HRESULT Reset() override
    {
        mPosition = mFirst;
        return S_OK;
    }

    HRESULT Clone(IEnumInterface** out) override;

private:
    const GUID* const* mPosition;
    IUnknown* mOwner; // held, may be null
    const GUID* const* mFirst;
    const GUID* const* mEnd;
};

class IterEnumObject final : public IterEnum {
public:
    using IterEnum::IterEnum;
    HRESULT QueryInterface(REFIID iid, void** out) override
    {
        return InternalQueryInterface(static_cast<IterEnum*>(this), GetInterfaceMap(), iid, out);
    }
    ULONG AddRef() override { return InternalAddRef(); }
    ULONG Release() override
    {
        // The module stays locked while the object is destroyed.
        ModuleLockCount().fetch_add(1);
        const ULONG count = ReleaseObject(this);
        ModuleLockCount().fetch_sub(1);
        return count;
    }
};

HRESULT IterEnum::Clone(IEnumInterface** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    auto* copy = new (std::nothrow) IterEnumObject(mOwner, mFirst, mEnd, mPosition);
    if (!copy)
        return E_OUTOFMEMORY;
    copy->AddRef();
    const HRESULT hr = copy->QueryInterface(IEnumInterface::kIid, reinterpret_cast<void**>(out));
    copy->Release();
    return hr;
}

} // namespace
} // namespace KELCOM

HRESULT CreateInterfaceIdEnumerator(const GUID* const* ids, ULONG count, IEnumInterface** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (!ids && count)
        return E_INVALIDARG;
    auto* enumerator = new (std::nothrow) KELCOM::IterEnumObject(nullptr, ids, ids + count, ids);
    if (!enumerator)
        return E_OUTOFMEMORY;
    enumerator->AddRef();
    *out = enumerator;
    return S_OK;
}
