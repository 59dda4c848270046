#pragma once

#include "GatewayListActions.h"
#include "link/LocalNetworks.h"
#include "session/GatewaySession.h"

#include <QMainWindow>
#include <QSet>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

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
        // Whether a segment lies in the PC's own networks, asked before each scan (tests answer it).
        std::function<bool(const Segment&)> segmentIsLocal;
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
    // Warns when the read-back differs or did not come; for a gateway that took a new master key,
    // asks whether the window takes it too. The key to take, if the user said Ja.
    std::optional<MasterKey> reportReadBack(const SetupVerifier::Report& report);
    void fillSegment(const QString& address);
    void showStatus(const QString& text);

    std::unique_ptr<Ui::TTelvaro> ui;
    GatewaySession m_session;
    GatewayListActions* m_actions = nullptr;
    QString m_settingsFile;
    bool m_masterKeyRead = false;
    QList<Segment> m_confirmedSegments;
    bool m_historyReported = false;
    std::function<bool(const Segment&)> m_segmentIsLocal;
    QSet<quint32> m_sending; // addresses a setup is being sent to
};
