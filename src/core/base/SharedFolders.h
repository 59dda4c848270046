#pragma once

#include "Result.h"

#include <QString>

// The folders below the system's shared documents folder that this program and other programs of
// the maker share. Every path is built anew at each call, with the platform's separator; folder
// paths end with a separator.
namespace SharedFolders {

// The shared documents folder, in this order of precedence: the --documents command-line option,
// the environment variable TELVARO_SHARED_DOCUMENTS (read at each call), the platform's folder
// (Windows: the Public Documents known folder; elsewhere the user's documents folder).
QString documents();
// Empty text removes the override.
void setDocumentsOverride(const QString& folder);

QString mervane();  // <documents>/MERVANE/
QString setups();   // <documents>/MERVANE/W_MBUS_SRV_GWSETUPS/
QString firmware(); // <documents>/MERVANE/W_MBUS_SRV_SOFTWARE/
QString routes();   // <documents>/MERVANE/Routes/
// <documents>/MERVANE/<executable base name>.INI ("Telvaro.INI" without an application object).
QString settingsFile();

// Creates path with every missing parent folder. The failure message is the folder path alone.
Status ensureFolder(const QString& path);

} // namespace SharedFolders
