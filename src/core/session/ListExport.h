#pragma once

#include "base/Result.h"

#include <QByteArray>
#include <QList>
#include <QString>

// One row of the exported gateway list, as the list's cells show it.
struct ExportRow
{
    QString ip, gwid, firmware, state, change, setupFile;
};

// The list as CSV the way German spreadsheet programs open it with a double click: UTF-8 with a
// byte order mark (without it they assume the Windows code page), ";" between fields (the comma is
// the decimal separator), CRLF after every line. The header is
// "IP;GWID;Firmware;Zustand;Änderung;Setup-Datei". A field is quoted ("…", inner quotes doubled) only
// when it holds ";", a quote, CR or LF, or begins or ends with a blank.
QByteArray gatewayListCsv(const QList<ExportRow>& rows);

// Writes gatewayListCsv(rows) to path in one step (writeFileAtomically: never through a link, never
// into a FIFO or folder); the failure names the path.
[[nodiscard]] Status writeGatewayListCsv(const QString& path, const QList<ExportRow>& rows);
