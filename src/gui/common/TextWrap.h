#pragma once

#include <QString>
#include <QStringList>

// Texts for table cells that wrap: a line may break between the items of a list and between the
// words of a value, never inside a name ("NETZWERK/PROTAG", "Server Port", "Funk-IDs").
namespace TextWrap {

// name with no place to break: blanks become no-break spaces, and a word joiner follows each '/'
// and '-' (both of which a line may otherwise end with).
QString keepWhole(const QString& name);
// The changes of a setup joined with ", ", each one's name (the text before ": ", or the whole
// change) kept whole.
QString changeList(const QStringList& changes);
// text with every occurrence of names kept whole (the longest name first, so a name inside another
// is not split from it).
QString keepNamesWhole(const QString& text, QStringList names);

} // namespace TextWrap
