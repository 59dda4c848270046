#include "Startup.h"

#include "ObsidianStyle.h"
#include "common/Prompter.h"
#include "dialog/TFormGWsetup.h"

#include <QApplication>
#include <QGuiApplication>
#include <QLibraryInfo>
#include <QScreen>
#include <QTranslator>

Windows createWindows(const TTelvaro::Options& options)
{
    Windows w;
    w.main = new TTelvaro(options);
    w.dialog = new TFormGWsetup(w.main);
    GatewaySession* session = &w.main->session();
    w.dialog->setSession(session);
    QObject::connect(w.main, &TTelvaro::openGatewaySetupRequested, w.dialog, &TFormGWsetup::OpenGatewaySetup);
    QObject::connect(w.main, &TTelvaro::setupTransferSucceeded, w.dialog, &TFormGWsetup::closeAfterTransfer);
    return w;
}

void destroyWindows(Windows& windows)
{
    delete windows.main; // owns the dialog
    windows = Windows();
}

void prepareApplication(QApplication& app)
{
    app.setApplicationName(QStringLiteral("Telvaro"));
    app.setApplicationVersion(QStringLiteral(TELVARO_VERSION));
    auto* translator = new QTranslator(&app);
    if (translator->load(QLocale(QLocale::German, QLocale::Germany), QStringLiteral("qtbase"), QStringLiteral("_"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        app.installTranslator(translator);
    if (!applyObsidianStyle(app))
        Prompter::instance().error(nullptr, QStringLiteral("Der Stil \"Obsidian\" konnte nicht gesetzt werden."));
}
