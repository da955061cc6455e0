#pragma once
// The binary reader and writer over a storage stream: the forms persisted objects use in their
// Load and Save.
#include "foundation/stream/BinStream.h"
#include "foundation/stream/StorageStreamBuf.h"

namespace KEL {

class StorageBinIStreamLite : public BinIStream {
public:
    // Opens the stream (state 4 when that fails) and reads the header.
    explicit StorageBinIStreamLite(IStream* stream);
    ~StorageBinIStreamLite() override;

private:
    StorageInStreamBuf mInBuf;
};

class StorageBinOStreamLite : public BinOStream {
public:
    // Opens the stream (state 4 when that fails) and writes the header word.
    explicit StorageBinOStreamLite(IStream* stream);
    ~StorageBinOStreamLite() override;

private:
    void ResetTarget() override;
    StorageOutStreamBuf mOutBuf;
};

} // namespace KEL
