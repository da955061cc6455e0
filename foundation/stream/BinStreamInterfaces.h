#pragma once
// The interfaces through which persisted objects read and write the binary stream format. The
// operations keep their slot order; the slots that were never implemented stay as placeholders
// answering E_NOTIMPL, so the tables of every implementation line up.
#include "com/Unknown.h"
#include "foundation/IKELString.h"

struct IBinInStream : IUnknown {
    // S_OK while the stream is good, E_FAIL once a read, seek or the opening failed.
    virtual HRESULT CheckState() = 0;
    virtual HRESULT Tell(ULONG* position) = 0;
    virtual HRESULT Unused5() = 0;
    virtual HRESULT ReadByte(BYTE* value) = 0;
    virtual HRESULT Read2Bytes(void* value) = 0;
    virtual HRESULT Read4Bytes(void* value) = 0;
    virtual HRESULT ReadUInt32(ULONG* value) = 0;
    virtual HRESULT Read8Bytes(void* value) = 0;
    virtual HRESULT ReadBytes(void* buffer, ULONG count) = 0;
    virtual HRESULT Unused12() = 0;
    virtual HRESULT Unused13() = 0;
    virtual HRESULT Unused14() = 0;
    virtual HRESULT Unused15() = 0;
    virtual HRESULT Unused16() = 0;
    virtual HRESULT Unused17() = 0;
    // A new representation with one reference for the caller.
    virtual HRESULT ReadString(IKELString** text) = 0;
    virtual HRESULT GetVersion(ULONG* version) = 0;
    virtual HRESULT ReadInt16(void* value) = 0;
    virtual HRESULT ReadFloat(void* value) = 0;
    virtual HRESULT ReadDouble(void* value) = 0;
    virtual HRESULT ReadInt64(void* value) = 0;

protected:
    ~IBinInStream() = default;
};

struct IBinOutStream : IUnknown {
    virtual HRESULT CheckState() = 0;
    virtual HRESULT Tell(ULONG* position) = 0;
    // To an absolute position, for back-patching a field written earlier.
    virtual HRESULT Seek(ULONG position) = 0;
    virtual HRESULT Unused6() = 0;
    virtual HRESULT WriteByte(BYTE value) = 0;
    virtual HRESULT WriteInt16(WORD value) = 0;
    virtual HRESULT WriteInt32(ULONG value) = 0;
    virtual HRESULT WriteFloat(float value) = 0;
    virtual HRESULT WriteDouble(double value) = 0;
    virtual HRESULT WriteBytes(const void* buffer, ULONG count) = 0;
    virtual HRESULT Unused13() = 0;
    virtual HRESULT Unused14() = 0;
    virtual HRESULT Unused15() = 0;
    virtual HRESULT Unused16() = 0;
    virtual HRESULT Unused17() = 0;
    virtual HRESULT Unused18() = 0;
    virtual HRESULT WriteString(IKELString* text) = 0;
    virtual HRESULT WriteInt64(LONGLONG value) = 0;
    virtual HRESULT Flush() = 0;
    virtual HRESULT Reset() = 0;

protected:
    ~IBinOutStream() = default;
};
