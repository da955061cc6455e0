#pragma once
// Locale records for the tests, built from chosen settings rather than the user's.
#include <memory>
#include <utility>

#include "foundation/LocaleInfo.h"
#include "locale/LocaleSettings.h"

namespace testlocale {

// A record built from the given settings, with its warnings kept out of the log.
inline std::unique_ptr<KEL::LocaleInfo> MakeLocale(vx::locale::Settings settings)
{
    vx::locale::ScopedSettings scoped(std::move(settings));
    auto previous = KEL::SetLocaleWarningHandler([](const KEL::String&, const KEL::String&) {});
    auto info = std::make_unique<KEL::LocaleInfo>();
    KEL::SetLocaleWarningHandler(std::move(previous));
    return info;
}

} // namespace testlocale
