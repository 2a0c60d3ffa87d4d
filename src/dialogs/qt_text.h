#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace verifax {

/// An engine text (UTF-8, or WTF-8 holding unpaired surrogates) as a QString, every
/// UTF-16 unit kept.
QString FromEngineText(std::string_view text);

/// A QString as an engine text: UTF-8, with any unpaired surrogate in its WTF-8 form, so
/// that FromEngineText gives the same QString back.
std::string ToEngineText(const QString& text);

}  // namespace verifax
