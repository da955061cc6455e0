#pragma once
// Forward declarations of the foundation's text types, for headers that only pass them on.
struct IKELString;
struct IAutoKELString;
class XKEL;

namespace KELString {
class StringRepBase;
class StringRep;
} // namespace KELString

namespace KEL {
class String;
class StringStreamBuf;
class OStringStream;
class OFormatStream;
class OFormatStringStream;
} // namespace KEL
