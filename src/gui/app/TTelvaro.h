#pragma once

#include "dialog/SetupHandOver.h"
#include "link/GatewayList.h"
#include "link/TelegramCipher.h"
#include "setups/GWSetupRecord.h"

#include <QHash>
#include <QMainWindow>
#include <QString>

#include <memory>

namespace Ui {
class TTelvaro;
}
class ScanEngine;
class SetupTransfer;
struct ScanAnswer;

// The main window: scans a segment, lists the gateways found, and sends setups on behalf of the
// setup dialog. It owns the state the windows share (record to send, master key, setups folder).
class TTelvaro final : public QMainWindow, public SetupHandOver
{
    Q_OBJECT

public:
    struct Options
    {
        QString segment; // "a.b.c" from the command line, empty for the local address
        int port = -1;   // -1: from the settings file (default 30)
    };
    explicit TTelvaro(const Options& options, QWidget* parent = nullptr);
    ~TTelvaro() override;

    QString setupsFolder() const { return m_setupsFolder; }

    // The setup record that the next transfer sends. The dialog fills it with SetupFileToRecord.
    GWSetupRecord& setupRecord() { return m_setupRecord; }
    // The last record received in this run from the gateway with this identifier (all zero if none):
    // its reserved bytes and firmware version travel back to that same gateway.
    GWSetupRecord lastReceivedRecord(const GatewayId& id) const override;
    // The dialog's hand-over: record becomes setupRecord() and is sent to ip.
    void sendSetup(const GWSetupRecord& record, const QString& ip, const QString& expectedGwid) override;

    // Sends setupRecord() to ip. expectedGwid is the identifier the user chose (list row, "0A.1B.2C");
    // when the gateway at ip reports another one nothing is sent. Exactly one outcome message follows.
    void StartSetupTransfer(const QString& ip, const QString& expectedGwid);
    bool transferRunning() const;
    void StopScan();
    bool scanRunning() const;
    const GatewayList& gatewayList() const { return m_list; }
    int answerCount() const { return m_answerCount; }

signals:
    // A listed gateway was double-clicked and its setup is to be opened (the dialog connects to it).
    void openGatewaySetupRequested(const QString& gwid, const QString& ip);
    void setupTransferStarted();
    void setupTransferSucceeded(); // the dialog closes on it
    void setupTransferFinished(bool acknowledged);
    void scanFinished();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void FormCreate(const Options& options);
    void FormClose();
    void ButtonScannClick();
    void ButtonStopClick();
    void StringGrid1DblClick();
    void HandleGatewayAnswer(const ScanAnswer& answer);
    void AddOrUpdateGatewayRow(const QString& gwid, const QString& ip, const QString& firmware);
    void onTransferFinished(bool acknowledged, const QString& message);
    void onScanFinished();
    void fillSegmentFromAddress(const QString& address);
    void readSettings();
    void refreshGrid();
    void resetGrid();
    bool eventFilter(QObject* watched, QEvent* event) override;

    std::unique_ptr<Ui::TTelvaro> ui;
    std::unique_ptr<ScanEngine> m_scan;
    std::unique_ptr<SetupTransfer> m_transfer;
    QString m_setupsFolder;
    QString m_settingsFile;
    bool m_masterKeyRead = false;
    MasterKey m_masterKeyBytes{};
    GWSetupRecord m_setupRecord;
    QHash<GatewayId, GWSetupRecord> m_received;
    GatewayList m_list;
    int m_answerCount = 0;
    int m_port = 30;
    int m_parallel = 64;
    int m_connectTimeout = 1000;
};

// The one main window, set when it is created.
extern TTelvaro* Telvaro;
