#pragma once

#include "setups/GatewayId.h"
#include "setups/SetupFormValues.h"

#include <QDialog>
#include <QHostAddress>
#include <QSet>
#include <QString>

#include <memory>

namespace Ui {
class TFormGWsetup;
}
class QKeyEvent;
class QLineEdit;
class QWidget;
class FieldMarks;
class GatewaySession;
class QTimer;

// The setup dialog of one gateway: shows a setup file, lets the user edit it and saves it, which
// also sends it to the gateway through the hand-over. Created once, hidden, and shown by
// OpenGatewaySetup.
class TFormGWsetup final : public QDialog
{
    Q_OBJECT

public:
    static constexpr int MaxRadioIds = SetupFormValues::MaxRadioIds;
    enum class AddOrigin
    {
        Hand,
        Import
    };

    explicit TFormGWsetup(QWidget* parent = nullptr);
    ~TFormGWsetup() override;

    // The session that sends saved setups; without one a save only writes the file.
    void setSession(GatewaySession* session);

    // Loads the setup file of the gateway id and shows the dialog for the gateway at host.
    void OpenGatewaySetup(const GatewayId& id, const QHostAddress& host);
    // Fills the controls from the file at path. id2, id1, id0 replace the file's gateway ID unless one
    // is empty. False when there is no file (the controls stay as they were).
    bool LoadSetup(const QString& path, const QString& id2, const QString& id1, const QString& id0);
    // Shows "Das ist keine gültige IP-Adresse=" + text when text is no address.
    bool CheckIPAddress(const QString& text);

    // Appends EditID's text to the radio-ID list while it holds fewer than 250 entries. False when the
    // text is no radio ID of 1 to 8 digits (a hand entry is told why, an import only counts it).
    bool AddRadioID(AddOrigin origin = AddOrigin::Hand);
    void RefreshIDCount();
    void ImportDeviceList(const QString& fileName);
    void ImportKeyList(const QString& fileName);

    SetupFormValues formValues() const;
    // The controls marked as differing from what the gateway last reported.
    QList<QWidget*> markedControls() const;
    void showFormValues(const SetupFormValues& values);

    QHostAddress targetAddress() const { return m_targetAddress; }
    GatewayId openedGwid() const { return m_openedGwid; }
    QString FirmwareImagePath() const { return m_firmwareImagePath; }
    bool FirmwareImagePresent() const { return m_firmwareImagePresent; }

public slots:
    // The gateway acknowledged the setup sent by the last save.
    void closeAfterTransfer();

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormCreate();
    void FormShow();
    void ButtonProfiModeClick();
    void ButtonSAVEClick();
    void ButtonLOADClick();
    void ButtonADDClick();
    void ButtonImportIDClick();
    void ListBoxFiltIDsKeyUp(const QKeyEvent* event);
    void EditFestIPKeyPress(QChar& key);
    void EditGWID2KeyPress(QChar& key);
    void EditMasterKey1KeyPress(QChar& key);
    void EditMasterKey1KeyUp();
    void EditGWID2Change();
    void EditGWID1Change();

    void setProtectedEnabled(bool enabled);
    void advanceFocus(const QLineEdit* from, QLineEdit* to);
    void reportSkipped(int skipped);
    bool addImportedId(const QString& id);
    void sendSavedSetup(const GatewayId& fileId);
    void markChanges();
    // The session's setups folder; without a session the shared one.
    QString setupsFolder() const;
    // While a setup is on its way to the dialog's gateway, "Speichern" and "Laden" wait: a second
    // save would start a second transfer over the first. Its read-back and other gateways' transfers
    // hold nothing back.
    void refreshBusy();

    std::unique_ptr<Ui::TFormGWsetup> ui;
    GatewaySession* m_session = nullptr;
    QSet<quint32> m_sending; // addresses a setup is being sent to
    std::unique_ptr<FieldMarks> m_marks;
    QTimer* m_markLater = nullptr;
    QHostAddress m_targetAddress;
    GatewayId m_openedGwid;
    QString m_firmwareImagePath;
    bool m_firmwareImagePresent = false;
    bool m_loading = false;
};
