#include "SharedFolders.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#ifdef Q_OS_WIN
// windows.h must come before shlobj.h.
// clang-format off
#include <windows.h>
#include <shlobj.h>
// clang-format on
#ifdef _MSC_VER
#pragma comment(lib, "shell32.lib")
#pragma comment(lib, "ole32.lib")
#endif
#endif

namespace {

QString& documentsOverride()
{
    static QString folder;
    return folder;
}

QString platformDocuments()
{
#ifdef Q_OS_WIN
    PWSTR raw = nullptr;
    QString folder;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_PublicDocuments, 0, nullptr, &raw)))
        folder = QString::fromWCharArray(raw);
    CoTaskMemFree(raw);
    if (!folder.isEmpty())
        return folder;
#endif
    return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
}

QString withTrailingSeparator(const QString& folder)
{
    QString native = QDir::toNativeSeparators(folder);
    if (!native.endsWith(QDir::separator()))
        native += QDir::separator();
    return native;
}

QString below(const QString& folder, const QString& name)
{
    return withTrailingSeparator(folder + QDir::separator() + name);
}

} // namespace

namespace SharedFolders {

QString documents()
{
    QString folder = documentsOverride();
    if (folder.isEmpty())
        folder = qEnvironmentVariable("TELVARO_SHARED_DOCUMENTS");
    if (folder.isEmpty())
        folder = platformDocuments();
    folder = QDir::toNativeSeparators(folder);
    while (folder.size() > 1 && folder.endsWith(QDir::separator()))
        folder.chop(1);
    return folder;
}

void setDocumentsOverride(const QString& folder)
{
    documentsOverride() = folder;
}

QString mervane()
{
    return below(documents(), QStringLiteral("MERVANE"));
}

QString setups()
{
    return mervane() + QStringLiteral("W_MBUS_SRV_GWSETUPS") + QDir::separator();
}

QString firmware()
{
    return mervane() + QStringLiteral("W_MBUS_SRV_SOFTWARE") + QDir::separator();
}

QString routes()
{
    return mervane() + QStringLiteral("Routes") + QDir::separator();
}

QString settingsFile()
{
    QString base;
    if (QCoreApplication::instance())
        base = QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
    if (base.isEmpty())
        base = QStringLiteral("Telvaro");
    return mervane() + base + QStringLiteral(".INI");
}

Status ensureFolder(const QString& path)
{
    if (QFileInfo(path).isDir())
        return {};
    if (QDir().mkpath(path) && QFileInfo(path).isDir())
        return {};
    return Status::failure(path);
}

} // namespace SharedFolders
