#pragma once
// What a plot control tells its observers: each notification goes through the control's subject
// (ISubject::Notify) with its id and the address of its payload as the value. Payload texts and
// arrays belong to the sender and live only during the send; an observer that keeps them copies.
#include <cstdint>

#include "com/Guid.h"
#include "foundation/String.h"

namespace KEL {

// The high half of every notification id is the host's type index of this GUID.
inline constexpr GUID kEtchNotificationType = vx::com::MakeGuid("{C7E74F70-39A4-41B7-BF8C-D21727C2F819}");

enum EtchNotificationKind : DWORD {
    kVLinesDragged = 0,
    kCompileMarkup = 1,
    kBadPlotterProperty = 2,
    kSetSVG = 3,
    kBoxResized = 4,
    kXScalingChanged = 5,
    kYScalingChanged = 6,
    kZoomLevelChanged = 8, // 7 is not used
    kMouseClick = 9,
    kRegionPosChanged = 10,
    kRegionTextChanged = 11,
};

// Kinds 0, 4 and 8: the lines, box or zoom id and the settings the page sent.
struct EtchValuesNotice {
    String id;
    const double* values = nullptr;
    std::int64_t count = 0;
};

struct EtchCompileNotice {
    BYTE success = 0;
};

struct EtchBadPropertyNotice {
    String plotter;
    String property;
    String expectedType;
    String defaultValue; // empty when none
};

struct EtchSvgNotice {
    String plotId;
    String kind; // "copy" or "print"
    String svg;
};

// Kinds 5 and 6: the scale's minimum, maximum and auto-scale flag as sent; count is one less
// than the number of values.
struct EtchScalingNotice {
    String id;
    const double* values = nullptr;
    std::int32_t count = 0;
    BYTE autoScale = 0;
};

struct EtchMouseClickNotice {
    String dataId;
    String pointText;
    BYTE select = 0;
};

struct EtchRegionPosNotice {
    String regionId;
    double xPercent = 0;
    double yPercent = 0;
};

struct EtchRegionTextNotice {
    String regionId;
    String text;
};

// The id of a kind: (type index of kEtchNotificationType << 16) | kind, computed once.
DWORD EtchNotificationId(EtchNotificationKind kind);

} // namespace KEL
