#pragma once

#include <QString>

#include <optional>

// The number the feature gates compare: a version text of exactly three
// dot-separated decimal parts "a.b.c" counts as a*1000 + b*100 + c.
//
// Every part must be one or more ASCII digits and nothing else: no sign, no
// blank, no empty part. A part too large for an int, or a result too large for
// an int, gives no number. Callers pass the trimmed text the board sent; a text
// with blanks around it gives no number either.
std::optional<int> parseVersionNumber(const QString& text);
