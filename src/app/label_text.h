#pragma once

#include <QString>

namespace nvx {

// Rules for the device label typed into the form.

// Without leading and trailing whitespace and line breaks (every Unicode
// separator, U+0009 to U+000D and U+0085); inner whitespace stays.
QString trimmedLabel(const QString& text);

// User-perceived characters (extended grapheme clusters): an accented letter
// written with a combining mark or a family emoji counts once.
int perceivedLength(const QString& text);

// The first `count` user-perceived characters of `text`.
QString perceivedPrefix(const QString& text, int count);

inline constexpr int maximumNameLength = 100;
inline constexpr int maximumOwnerLength = 100;
inline constexpr int maximumLocationLength = 160;

// Whether the fields, as typed and before trimming, keep to their limits.
bool labelFitsLimits(const QString& name, const QString& owner, const QString& location);

}  // namespace nvx
