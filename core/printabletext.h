#pragma once

#include <QString>

// Texts a board or a file supplies (versions, names) end up on terminals and
// in line-oriented files. A control character in one could recolour or
// retitle a terminal, or forge a line that seems to come from another board,
// so each one (C0, DEL, C1) is shown as \u00XX: the escape JSON itself uses,
// so a JSON line that passes through stays valid JSON and reads the same.
namespace PrintableText {

// Every control character escaped: the text stays on one line and in one field.
QString oneLine(const QString& text);

// The same, except for line breaks: for a message of several lines of our own.
QString lines(const QString& text);

} // namespace PrintableText
