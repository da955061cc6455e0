// Session files as a host reads them from disk: any bytes either are refused with a reason, or
// decode into content that encodes to a file that decodes to the same content again. Decoded
// content is then opened as a recording's session is: its named channels are made again over a
// small recording, which parses and compiles their formulas, and each channel made is read.
//   input: the file's bytes; byte 0 bit 0 set: the checksum is made to match first, so that the
//   fuzzer reaches the sections behind it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "host/calc/CalcError.h"
#include "host/hrvdoc/HrvHostDocument.h"
#include "host/hrvdoc/Session.h"

namespace {

// Two channels of one short record.
std::shared_ptr<vx::host::Recording> SmallRecording()
{
    auto r = std::make_shared<vx::host::Recording>();
    for (const wchar_t* title : { L"ECG", L"Pressure" }) {
        vx::host::ChannelSetup channel;
        channel.title = title;
        r->channels.push_back(channel);
    }
    const int record = r->AddRecord(0.01, 0.0);
    auto& stored = r->records[static_cast<std::size_t>(record)];
    std::vector<float> values(400);
    for (std::size_t i = 0; i < values.size(); ++i)
        values[i] = static_cast<float>(i % 37) * 0.1f;
    stored.channels[0].Append(values);
    stored.channels[1].Append(values);
    stored.length = 400;
    return r;
}

void Restore(const vx::host::SessionContent& content)
{
    vx::host::HrvHostDocument host(SmallRecording());
    try {
        vx::host::RestoreSessionChannels(host, content);
    } catch (const vx::host::SessionError&) {
        return;
    }
    for (const auto& channel : content.channels) {
        try {
            const vx::calc::Compiled c = host.Engine().Channel(channel.name);
            if (c.samples) {
                std::vector<float> out(100);
                c.samples->Read(0, 0, out);
            } else if (c.events) {
                vx::calc::EventBuffer events;
                c.events->Read(0, 0, 400, events);
            }
        } catch (const vx::calc::CalcError&) {
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    std::vector<std::uint8_t> bytes(data + 1, data + size);
    if ((data[0] & 1) && bytes.size() >= 4) {
        const std::uint32_t crc = vx::host::Crc32(bytes.data(), bytes.size() - 4);
        for (int i = 0; i < 4; ++i)
            bytes[bytes.size() - 4 + std::size_t(i)] = static_cast<std::uint8_t>(crc >> (8 * i));
    }
    vx::host::SessionContent content;
    try {
        content = vx::host::DecodeSession(bytes);
    } catch (const vx::host::SessionError&) {
        return 0;
    }
    const vx::host::SessionContent again = vx::host::DecodeSession(vx::host::EncodeSession(content));
    if (again.objects.size() != content.objects.size() || again.channels.size() != content.channels.size()
        || again.links.size() != content.links.size())
        std::abort();
    for (std::size_t i = 0; i < content.objects.size(); ++i)
        if (again.objects[i].bytes != content.objects[i].bytes || again.objects[i].index != content.objects[i].index)
            std::abort();
    for (std::size_t i = 0; i < content.channels.size(); ++i)
        if (again.channels[i].name != content.channels[i].name
            || again.channels[i].formula != content.channels[i].formula)
            std::abort();
    Restore(content);
    return 0;
}
