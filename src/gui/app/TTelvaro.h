#pragma once

#include "SessionDialogs.h"
#include "session/GatewaySession.h"

#include <QMainWindow>
#include <QString>

#include <memory>

namespace Ui {
class TTelvaro;
}

// The main window: scans a segment and lists the gateways found. It draws what its gateway
// session reports and asks the user through the prompt interface; the session does the work.
class TTelvaro final : public QMainWindow
{
    Q_OBJECT

public:
    struct Options
    {
        QString segment; // "a.b.c" from the command line, empty for the local address
        int port = -1;   // -1: from the settings file
    };
    explicit TTelvaro(const Options& options, QWidget* parent = nullptr);
    ~TTelvaro() override;

    GatewaySession& session() { return m_session; }
    void StopScan();
    bool scanRunning() const { return m_session.scanRunning(); }

signals:
    // A listed gateway was double-clicked and its setup is to be opened (the dialog connects to it).
    void openGatewaySetupRequested(const GatewayId& id, const QHostAddress& host);
    void setupTransferSucceeded(); // the dialog closes on it
    void setupTransferFinished(bool acknowledged);
    void scanFinished();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void FormCreate(const Options& options);
    void FormClose();
    void ButtonScannClick();
    void StringGrid1DblClick();
    void drawRows();
    void onScanFinished();
    void onTransferFinished(const SetupTransfer::Report& report);
    void onVerified(const SetupVerifier::Report& report);
    void fillSegment(const QString& address);

    std::unique_ptr<Ui::TTelvaro> ui;
    GatewaySession m_session;
    SessionDialogs* m_actions = nullptr;
    QString m_settingsFile;
    bool m_masterKeyRead = false;
    QStringList m_confirmedSegments;
};
