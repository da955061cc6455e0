#include "foundation/stream/StorageBinStream.h"

namespace KEL {

StorageBinIStreamLite::StorageBinIStreamLite(IStream* stream)
{
    if (mInBuf.Open(stream)) {
        SetBuffer(&mInBuf);
        mState = kGood;
    } else {
        mState = kNoBuffer;
    }
    ReadStreamHeader();
}

StorageBinIStreamLite::~StorageBinIStreamLite()
{
    mInBuf.Close();
    SetBuffer(nullptr);
}

StorageBinOStreamLite::StorageBinOStreamLite(IStream* stream)
{
    if (mOutBuf.Open(stream)) {
        SetBuffer(&mOutBuf);
        mState = kGood;
        PutU32(kBinStreamHeader);
    } else {
        mState = kNoBuffer;
    }
}

StorageBinOStreamLite::~StorageBinOStreamLite()
{
    mOutBuf.Close();
    SetBuffer(nullptr);
}

void StorageBinOStreamLite::ResetTarget()
{
    if (mOutBuf.IsOpen() && FAILED(mOutBuf.Stream()->SetSize(ULARGE_INTEGER { 0 })))
        mState = kShort;
}

} // namespace KEL
