#pragma once
// The session of a recording: what the host keeps beside the recording so that a user's work on
// it (the analysis settings, the beat corrections) is there when the recording is opened again.
// It holds each object that the extension's document handed to the host's store, as the exact
// bytes of the object's own Save, and what the analysis needs on reopening: the named formula
// channels and the channel links.
//
// File layout (little-endian): the 8 bytes "VXSESSN1", u32 format version, u32 section count,
// then the sections, each u32 kind, u32 key, u32 length and its bytes, then a CRC-32 of all that
// came before it. Kinds: 1 a persisted object (key: its store index; bytes: its 16-byte class id,
// then its stream), 2 a named channel (name and formula, each a u32 count of UTF-16 units and the
// units), 3 a channel link (four u32: from channel, from kind, to channel, to kind), 4 a plot's
// state kept by the plot-state registrar (u32 kind, plot id and item id as texts, two f64, the
// item's text, u32 flag), 5 a channel calculation (the channel's name and the calculation
// class's id text as texts, the 16-byte class id of its settings, then the settings' stream). A
// reader passes over kinds it does not know, so a file without the
// later kinds reads as one that has none of them.
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "com/Guid.h"
#include "com/Unknown.h"
#include "hostframework/interfaces/AnalysisHostInterfaces.h"

namespace vx::host {

class HrvHostDocument;
class Recording;

// A session file that cannot be read: its what() is the reason, in words for the user.
class SessionError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct SessionContent {
    struct Object {
        DWORD index = 0;
        GUID classId {};
        std::vector<std::uint8_t> bytes;
    };
    struct NamedChannel {
        std::wstring name, formula;
    };
    struct Link {
        HRV::ChannelRef from, to;
    };
    // A scale range, legend or text-region place or text a user set in a plot.
    struct PlotState {
        DWORD number = 0; // 2 item position, 3 item text, 4 x range, 5 y range
        std::wstring plotId, itemId;
        double first = 0, second = 0;
        std::wstring text;
        BYTE flag = 0;
        bool operator==(const PlotState&) const = default;
    };
    std::vector<Object> objects;
    std::vector<NamedChannel> channels;
    std::vector<Link> links;
    std::vector<PlotState> plotStates;
    // A named channel computed by a channel calculation of the extension, with its settings.
    struct ChannelCalc {
        std::wstring channel, calcClass;
        GUID settingsClass {};
        std::vector<std::uint8_t> settings;
    };
    std::vector<ChannelCalc> calculations;
};

inline constexpr std::uint32_t kSessionFormatVersion = 1;

std::vector<std::uint8_t> EncodeSession(const SessionContent& content);
// Throws SessionError for a file that is short, damaged, of a newer format or inconsistent.
SessionContent DecodeSession(const std::vector<std::uint8_t>& bytes);
std::uint32_t Crc32(const std::uint8_t* data, std::size_t size);

// The largest session file that `recording` can have. A session grows only with the user's beat
// corrections: each added or removed beat is one position in the data object's stream. Allowing
// both sets a beat every 50 ms over the whole recording (a faster rhythm than any heart the
// species presets describe) plus 1 MiB for the settings, formulas, plot states and channel
// calculations, which do not depend on the recording, is far above what a user makes; a larger
// file is refused before it is read.
std::uint64_t SessionSizeLimit(const Recording& recording);

// The session file of a recording: beside it, its name with ".varnex-session" added.
std::string SessionPathFor(const std::string& recording);

// What the host document keeps now. The objects are saved without clearing their dirty flags:
// those are cleared (ClearSessionDirty) only once the file is safely in place.
SessionContent CollectSession(HrvHostDocument& host);
// Tells every stored object that it is saved (each saves once more into a scratch stream with
// its dirty flag cleared).
void ClearSessionDirty(HrvHostDocument& host);
// True while any stored object has changes that no session file holds.
bool SessionDirty(HrvHostDocument& host);

// Before the document is made: the named channels and links of the session into the host
// document, then its channel calculations, each made by its class (RegisterCalculationClasses)
// with its settings loaded by their class.
void RestoreSessionChannels(HrvHostDocument& host, const SessionContent& content);
// After the document is made and before it is attached: every persisted object the document
// hands out (its child objects 0 and 1) is loaded from its stream in the session, or initialised
// new when the session has none or `content` is null; each is kept in the host's store. The
// document is then told it was loaded. Returns the indexes that were loaded from the session.
std::vector<DWORD> LoadSessionObjects(HrvHostDocument& host, IUnknown* document, const SessionContent* content);

} // namespace vx::host
