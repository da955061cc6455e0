#include "tracedraw/Drawer.h"

#include <cmath>
#include <limits>

namespace VarnDraw {

using vx::ui::Colour;

int RoundPixel(double x)
{
    const double r = std::floor(x + 0.5);
    if (!(r > -2147483648.0))
        return std::numeric_limits<int>::min();
    if (!(r < 2147483647.0))
        return std::numeric_limits<int>::max();
    return static_cast<int>(r);
}

DrawerBase::DrawerBase(const DrawerBaseInit& init)
    : DrawerBaseInit(init)
{
}

DrawerBase::DrawerBase(const DrawerBase& other)
    : SimpleUnknownImp1<IVarnRecordDrawer, 0>()
    , DrawerBaseInit(other)
    , mBounds(other.mBounds)
    , mRequestFlags(other.mRequestFlags)
    , mWidthValue(other.mWidthValue)
    , mStripChannel(other.mStripChannel)
    , mBlock(other.mBlock)
    , mOption(other.mOption)
    , mRecord(other.mRecord)
    , mRecordSet(other.mRecordSet)
    , mRecordFlag(other.mRecordFlag)
{
}

DrawerBase::~DrawerBase()
{
    if (mRecordData)
        mRecordData->Release();
    if (mSource)
        mSource->Release();
}

HRESULT DrawerBase::HandOut(DrawerBase* copy, IVarnRecordDrawer** out)
{
    copy->AddRef();
    *out = copy;
    return S_OK;
}

HRESULT DrawerBase::SetSource(DWORD, IRecordSource* source)
{
    if (source)
        source->AddRef();
    if (mSource)
        mSource->Release();
    mSource = source;
    mRecordSet = false;
    mRecordFlag = false;
    if (mRecordData) {
        mRecordData->Release();
        mRecordData = nullptr;
    }
    if (source) {
        IUnknown* record = nullptr;
        if (SUCCEEDED(source->GetCurrentRecord(&record)) && record) {
            record->QueryInterface(IRecordData::kIid, reinterpret_cast<void**>(&mRecordData));
            record->Release();
        }
    }
    return S_OK;
}

HRESULT DrawerBase::SetBounds(std::int64_t widthValue, const vx::ui::Rect* rect)
{
    if (!rect)
        return E_POINTER;
    mWidthValue = widthValue;
    mBounds = *rect;
    return S_OK;
}

HRESULT DrawerBase::GetDrawOrder(std::int32_t* order)
{
    if (!order)
        return E_POINTER;
    *order = drawOrder;
    return S_OK;
}

HRESULT DrawerBase::GetChannel(std::int64_t* identity)
{
    if (!identity)
        return E_POINTER;
    *identity = MakeIdentity(static_cast<std::uint32_t>(channel), selector);
    return S_OK;
}

HRESULT DrawerBase::GetData(int, std::int64_t, IUnknown** out, DWORD*)
{
    if (out)
        *out = nullptr;
    return S_FALSE;
}

HRESULT DrawerBase::GetValue(int scaleNumber, std::int64_t position, IUnknown** out, DWORD* flag)
{
    return GetData(scaleNumber, position, out, flag);
}

HRESULT DrawerBase::GetRecordData(std::int64_t, IUnknown** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (channel < 0 || !mRecordData)
        return S_FALSE;
    mRequestFlags = RequestWord();
    mRecordData->AddRef();
    *out = mRecordData;
    return S_OK;
}

HRESULT DrawerBase::SetScaleRange(int, DWORD, const vx::hf::DisplayRange*, IUnknown*)
{
    return S_FALSE;
}

HRESULT DrawerBase::Refresh(DWORD)
{
    return S_OK;
}

HRESULT DrawerBase::SetRecord(LONG record, DWORD flag)
{
    mRecord = record;
    mRecordSet = true;
    mRecordFlag = flag != 0;
    if (mRecordData)
        mRecordData->GetCurrentBlock(&mBlock);
    return Refresh(0xFF000000u);
}

HRESULT DrawerBase::ClearRecord()
{
    mRecordSet = false;
    return S_OK;
}

HRESULT DrawerBase::GetSourceId(std::int64_t* identity)
{
    if (!identity)
        return E_POINTER;
    const bool none = static_cast<std::uint32_t>(alternate) == 0x80000000u;
    if (none)
        return GetChannel(identity);
    *identity = alternate;
    return S_OK;
}

HRESULT DrawerBase::SetChannelIndex(DWORD, int channelIndex)
{
    mStripChannel = channelIndex;
    return S_OK;
}

HRESULT DrawerBase::SetDataPane(IDrawerDataPane* pane)
{
    mPane = pane;
    return S_OK;
}

HRESULT DrawerBase::SetOption(DWORD value)
{
    mOption = value;
    return S_OK;
}

DWORD DrawerBase::ForBackground(DWORD colour) const
{
    DWORD out = colour;
    if (mPane && mPane->TraceColourForBackground(colour, &out) != S_OK)
        out = colour;
    return out;
}

// ---- Trace palette ------------------------------------------------------------------------

namespace {
constexpr Colour kTableA[] = {
    Colour::Rgb(255, 0, 0),
    Colour::Rgb(0, 0, 255),
    Colour::Rgb(0, 128, 0),
    Colour::Rgb(255, 0, 255),
    Colour::Rgb(0, 0, 128),
    Colour::Rgb(128, 0, 0),
    Colour::Rgb(128, 128, 0),
    Colour::Rgb(128, 0, 128),
    Colour::Rgb(0, 128, 128),
    Colour::Rgb(0, 0, 0),
    Colour::Rgb(0, 255, 0),
    Colour::Rgb(0, 255, 255),
    Colour::Rgb(255, 128, 0),
    Colour::Rgb(255, 0, 128),
    Colour::Rgb(128, 0, 255),
    Colour::Rgb(128, 64, 0),
    Colour::Rgb(0, 128, 192),
    Colour::Rgb(224, 160, 0),
    Colour::Rgb(0, 128, 255),
    Colour::Rgb(128, 128, 192),
    Colour::Rgb(255, 255, 0),
};
constexpr Colour kTableB[] = {
    Colour::Rgb(213, 0, 0),
    Colour::Rgb(234, 88, 0),
    Colour::Rgb(170, 128, 0),
    Colour::Rgb(168, 191, 0),
    Colour::Rgb(85, 170, 0),
    Colour::Rgb(14, 106, 0),
    Colour::Rgb(0, 128, 32),
    Colour::Rgb(0, 170, 106),
    Colour::Rgb(0, 170, 170),
    Colour::Rgb(0, 147, 234),
    Colour::Rgb(0, 64, 255),
    Colour::Rgb(19, 0, 149),
    Colour::Rgb(106, 0, 213),
    Colour::Rgb(168, 0, 191),
    Colour::Rgb(213, 0, 159),
    Colour::Rgb(234, 0, 88),
    Colour::Rgb(106, 106, 106),
    Colour::Rgb(0, 0, 0),
};
constexpr int kOrderA[] = { 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19 };
constexpr int kOrderB[] = { 0, 10, 5, 14, 11, 7, 2, 12, 6, 1, 9, 4, 15, 13, 8, 16, 3, 17 };
} // namespace

TracePalette SelectTraceColourTable(int bitsPerPixel, bool twentyColours)
{
    if (bitsPerPixel < 9)
        return { { kTableA, 12 }, { kOrderA, 12 }, 12, 0 };
    if (twentyColours)
        return { { kTableA, 20 }, { kOrderA, 20 }, 20, 0 };
    return { kTableB, kOrderB, 18, 0 };
}

const TracePalette& ProcessTracePalette()
{
    static const TracePalette palette = SelectTraceColourTable(vx::ui::GetScreenCaps().bitsPerPixel, false);
    return palette;
}

Colour TracePalette::Entry(std::int64_t index) const
{
    return colours[static_cast<std::size_t>(Modulo(index, count) + offset)];
}

Colour TracePalette::ForChannel(std::int64_t c) const
{
    const int o = order[static_cast<std::size_t>(Modulo(c, count) + offset)];
    return colours[static_cast<std::size_t>(Modulo(o, count) + offset)];
}

} // namespace VarnDraw
