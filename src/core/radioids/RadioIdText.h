#pragma once

#include <QString>

// An ID slot of the setup record holds eight BCD digits, so only 1 to 8 decimal digits can be saved.
// The add step refuses anything else; the importers skip such IDs instead of handing them over.
bool isStorableRadioId(const QString& text);
