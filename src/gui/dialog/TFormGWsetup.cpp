#include "TFormGWsetup.h"
#include "ui_TFormGWsetup.h"

#include "FieldMarks.h"
#include "base/SharedFolders.h"
#include "common/EditKeyFilter.h"
#include "common/HexDigitsValidator.h"
#include "common/Prompter.h"
#include "firmware/FirmwareImage.h"
#include "radioids/DeviceList.h"
#include "radioids/KeyList.h"
#include "radioids/RadioIdText.h"
#include "session/GatewaySession.h"
#include "setups/FieldRules.h"
#include "setups/SetupFile.h"
#include "setups/SetupForm.h"

#include <QFileInfo>
#include <QKeyEvent>
#include <QScopedValueRollback>
#include <QTimer>

#include <tuple>

namespace {

QChar upperAscii(QChar c)
{
    return (c >= u'a' && c <= u'z') ? QChar(c.unicode() - u'a' + u'A') : c;
}

void digitsOnly(QChar& key)
{
    if (key != QChar(8) && !FieldRules::isDecimalDigit(key))
        key = QChar();
}

void lettersUpper(QChar& key)
{
    key = upperAscii(key);
}

void setExclusiveChecks(QButtonGroup* group, const std::initializer_list<std::pair<QRadioButton*, bool>>& states)
{
    // An exclusive group never lets its checked button go; a file may leave every button clear.
    group->setExclusive(false);
    for (const auto& [button, checked] : states)
        button->setChecked(checked);
    group->setExclusive(true);
}

} // namespace

TFormGWsetup::TFormGWsetup(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::TFormGWsetup>())
{
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(842, 443);
    // The positions are made for Tahoma; where it is missing a face of similar width keeps the texts whole.
    QFont face = font();
    face.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("Arial"), QStringLiteral("Liberation Sans"),
                      QStringLiteral("Nimbus Sans")});
    setFont(face);
    showFormValues(SetupFormValues::initial());

    new EditKeyFilter(ui->EditFestIP, [this](QChar& k) { EditFestIPKeyPress(k); });
    for (QLineEdit* id : {ui->EditGWID2, ui->EditGWID1, ui->EditGWID0})
        new EditKeyFilter(
            id, [this](QChar& k) { EditGWID2KeyPress(k); }, 2);
    new EditKeyFilter(
        ui->EditMasterKey1, [this](QChar& k) { EditMasterKey1KeyPress(k); }, 32, [this] { EditMasterKey1KeyUp(); });
    new EditKeyFilter(
        ui->EditServerDNS, [](QChar&) {}, 32);
    for (QLineEdit* code : {ui->EditHS0, ui->EditHS1, ui->EditHS2, ui->EditHS3})
        new EditKeyFilter(code, lettersUpper, 3);
    for (QLineEdit* code : {ui->EditMC0, ui->EditMC1, ui->EditMC2, ui->EditMC3})
        new EditKeyFilter(code, digitsOnly, 3);
    new EditKeyFilter(ui->EditPort, digitsOnly);
    new EditKeyFilter(ui->EditID, digitsOnly, 8);

    connect(ui->EditGWID2, &QLineEdit::textChanged, this, &TFormGWsetup::EditGWID2Change);
    connect(ui->EditGWID1, &QLineEdit::textChanged, this, &TFormGWsetup::EditGWID1Change);
    connect(ui->ButtonProfiMode, &QPushButton::clicked, this, &TFormGWsetup::ButtonProfiModeClick);
    connect(ui->ButtonSAVE, &QPushButton::clicked, this, &TFormGWsetup::ButtonSAVEClick);
    connect(ui->ButtonLOAD, &QPushButton::clicked, this, &TFormGWsetup::ButtonLOADClick);
    connect(ui->ButtonADD, &QPushButton::clicked, this, &TFormGWsetup::ButtonADDClick);
    connect(ui->ButtonImportID, &QPushButton::clicked, this, &TFormGWsetup::ButtonImportIDClick);
    ui->ListBoxFiltIDs->installEventFilter(this);

    // Fields that differ from what the gateway last reported are marked, as the user edits them.
    m_marks = std::make_unique<FieldMarks>();
    using namespace SetupKeys;
    const std::tuple<QString, QString, QWidget*> marks[] = {
        {Netzwerk, SrvDns, ui->LabelServerDNS},
        {Netzwerk, Port, ui->LabelPort},
        {Netzwerk, Dhcp, ui->LabelDHCP},
        {Netzwerk, FestIp, ui->LabelFestIP},
        {Netzwerk, GwIp, ui->LabelGW},
        {Netzwerk, SubIp, ui->LabelSubMsk},
        {Netzwerk, DnsIp, ui->LabelDNSSrv},
        {Netzwerk, NtpIp, ui->LabelNTP},
        {Netzwerk, SetupKeys::MasterKey, ui->LabelMasterKey},
        {Netzwerk, Sofort, ui->LabelInterval},
        {Netzwerk, ProH, ui->LabelInterval},
        {Netzwerk, ProTag, ui->LabelInterval},
        {Netzwerk, ProMonat, ui->LabelInterval},
        {WMBus, ModeT, ui->LabelMode},
        {WMBus, ModeS, ui->LabelMode},
        {WMBus, FilterHersteller, ui->CheckBoxFiltManCode},
        {WMBus, filterHs(0), ui->EditHS0},
        {WMBus, filterHs(1), ui->EditHS1},
        {WMBus, filterHs(2), ui->EditHS2},
        {WMBus, filterHs(3), ui->EditHS3},
        {WMBus, FilterMedium, ui->CheckBoxFiltMC},
        {WMBus, filterMc(0), ui->EditMC0},
        {WMBus, filterMc(1), ui->EditMC1},
        {WMBus, filterMc(2), ui->EditMC2},
        {WMBus, filterMc(3), ui->EditMC3},
        {WMBus, FilterIds, ui->CheckBoxFiltFunkID},
        {WMBusIds, QString(), ui->ListBoxFiltIDs}, // every entry of the list
        {QString(), GatewayIdField, ui->LabelGWID},
    };
    for (const auto& [section, key, control] : marks)
        m_marks->add(section, key, control);
    m_markLater = new QTimer(this);
    m_markLater->setSingleShot(true);
    m_markLater->setInterval(0);
    connect(m_markLater, &QTimer::timeout, this, &TFormGWsetup::markChanges);
    for (QLineEdit* edit : findChildren<QLineEdit*>())
        connect(edit, &QLineEdit::textChanged, m_markLater, qOverload<>(&QTimer::start));
    for (QAbstractButton* button : findChildren<QAbstractButton*>())
        connect(button, &QAbstractButton::toggled, m_markLater, qOverload<>(&QTimer::start));
    connect(ui->ListBoxFiltIDs->model(), &QAbstractItemModel::rowsInserted, m_markLater, qOverload<>(&QTimer::start));
    connect(ui->ListBoxFiltIDs->model(), &QAbstractItemModel::rowsRemoved, m_markLater, qOverload<>(&QTimer::start));

    FormCreate();
}

TFormGWsetup::~TFormGWsetup() = default;

void TFormGWsetup::FormCreate()
{
    const Result<FirmwareImage> image = PrepareFirmwareImage();
    if (!image) {
        Prompter::instance().error(this, image.message());
        return;
    }
    m_firmwareImagePath = image->path;
    m_firmwareImagePresent = image->present;
}

void TFormGWsetup::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TFormGWsetup::FormShow()
{
    setProtectedEnabled(false);
}

void TFormGWsetup::setProtectedEnabled(bool enabled)
{
    const std::initializer_list<QWidget*> protectedControls = {
        ui->EditServerDNS, ui->EditPort,   ui->CheckBoxDHCP, ui->EditFestIP,     ui->EditGW,
        ui->EditSubMsk,    ui->EditDNSSrv, ui->EditNTP,      ui->EditMasterKey1,
    };
    for (QWidget* control : protectedControls)
        control->setEnabled(enabled);
}

void TFormGWsetup::ButtonProfiModeClick()
{
    const Prompter::Button answer = Prompter::instance().message(
        this, Prompter::Icon::Information, QStringLiteral("Sind Sie sicher?"), Prompter::Yes | Prompter::No);
    setProtectedEnabled(answer == Prompter::Yes);
}

void TFormGWsetup::EditFestIPKeyPress(QChar& key)
{
    if (key != QChar(8) && key != u'.' && !FieldRules::isDecimalDigit(key))
        key = QChar();
}

void TFormGWsetup::EditGWID2KeyPress(QChar& key)
{
    if (key == QChar(8))
        return;
    key = HexDigitsValidator::filterTyped(key);
}

void TFormGWsetup::EditMasterKey1KeyPress(QChar& key)
{
    EditGWID2KeyPress(key);
}

void TFormGWsetup::EditMasterKey1KeyUp()
{
    ui->LabelMKcount->setText(FieldRules::masterKeyCountText(ui->EditMasterKey1->text().size()));
}

void TFormGWsetup::EditGWID2Change()
{
    advanceFocus(ui->EditGWID2, ui->EditGWID1);
}

void TFormGWsetup::EditGWID1Change()
{
    advanceFocus(ui->EditGWID1, ui->EditGWID0);
}

void TFormGWsetup::advanceFocus(const QLineEdit* from, QLineEdit* to)
{
    // The ID edits are never enabled, so the target usually cannot take the focus; a load must not
    // move the focus either.
    if (m_loading || !isVisible() || from->text().size() != 2)
        return;
    if (!to->isEnabled() || !to->isVisible() || to->focusPolicy() == Qt::NoFocus)
        return;
    to->setFocus();
}

bool TFormGWsetup::CheckIPAddress(const QString& text)
{
    if (FieldRules::address(text))
        return true;
    Prompter::instance().show(this, QStringLiteral("Das ist keine gültige IP-Adresse=") + text);
    return false;
}

void TFormGWsetup::OpenGatewaySetup(const GatewayId& id, const QHostAddress& host)
{
    m_targetAddress = host;
    m_openedGwid = id;
    refreshBusy();
    setWindowTitle(QStringLiteral("Getaway Setup an IP: ") + host.toString());
    const SetupForm::IdPairs pairs = SetupForm::IdPairs::of(id);
    if (!LoadSetup(SetupFilePath(setupsFolder(), id), pairs.id2, pairs.id1, pairs.id0)) {
        const Prompter::Button answer = Prompter::instance().message(this, Prompter::Icon::Error, NoSetupForGatewayText,
                                                                     Prompter::Abort | Prompter::Ignore);
        if (answer != Prompter::Ignore)
            return;
        QScopedValueRollback loading(m_loading, true);
        ui->EditGWID2->setText(pairs.id2);
        ui->EditGWID1->setText(pairs.id1);
        ui->EditGWID0->setText(pairs.id0);
    }
    // Modal for the user, but nothing waits for it to close.
    setWindowModality(Qt::ApplicationModal);
    show();
    activateWindow();
}

bool TFormGWsetup::LoadSetup(const QString& path, const QString& id2, const QString& id1, const QString& id0)
{
    const Result<std::optional<SetupFormValues>> values = SetupForm::load(path, {id2, id1, id0});
    if (!values) {
        Prompter::instance().error(this, values.message());
        return false;
    }
    if (!values.value())
        return false;
    QScopedValueRollback loading(m_loading, true);
    showFormValues(**values);
    return true;
}

void TFormGWsetup::ButtonLOADClick()
{
    const QString file =
        Prompter::instance().openFileName(this, setupsFolder(), SetupKeys::FileFilter + QStringLiteral("|*.GWINI"));
    if (!file.isEmpty())
        LoadSetup(file, QString(), QString(), QString());
}

SetupFormValues TFormGWsetup::formValues() const
{
    SetupFormValues v;
    v.gwId2 = ui->EditGWID2->text();
    v.gwId1 = ui->EditGWID1->text();
    v.gwId0 = ui->EditGWID0->text();
    v.anbauort = ui->EditAnbauort->text();
    v.softVer = ui->EditSoftVer->text();
    v.sendTime = ui->EditSendTime->text();
    v.empfTime = ui->EditEmpfTime->text();
    v.sofort = ui->RadioButtonSofort->isChecked();
    v.proH = ui->RadioButtonProH->isChecked();
    v.proTag = ui->RadioButtonProTag->isChecked();
    v.proMonat = ui->RadioButtonProMonat->isChecked();
    v.serverDns = ui->EditServerDNS->text();
    v.port = ui->EditPort->text();
    v.dhcp = ui->CheckBoxDHCP->isChecked();
    v.festIp = ui->EditFestIP->text();
    v.gw = ui->EditGW->text();
    v.subMsk = ui->EditSubMsk->text();
    v.dnsSrv = ui->EditDNSSrv->text();
    v.ntp = ui->EditNTP->text();
    v.masterKey = ui->EditMasterKey1->text();
    v.modeT = ui->RadioButtonT->isChecked();
    v.modeS = ui->RadioButtonS->isChecked();
    v.filtManCode = ui->CheckBoxFiltManCode->isChecked();
    v.hs = {ui->EditHS0->text(), ui->EditHS1->text(), ui->EditHS2->text(), ui->EditHS3->text()};
    v.filtMC = ui->CheckBoxFiltMC->isChecked();
    v.mc = {ui->EditMC0->text(), ui->EditMC1->text(), ui->EditMC2->text(), ui->EditMC3->text()};
    v.filtFunkId = ui->CheckBoxFiltFunkID->isChecked();
    v.radioIds.clear();
    for (int i = 0; i < ui->ListBoxFiltIDs->count(); ++i)
        v.radioIds << ui->ListBoxFiltIDs->item(i)->text();
    return v;
}

void TFormGWsetup::showFormValues(const SetupFormValues& v)
{
    ui->EditSendTime->setText(v.sendTime);
    ui->EditEmpfTime->setText(v.empfTime);
    ui->EditGWID2->setText(v.gwId2);
    ui->EditGWID1->setText(v.gwId1);
    ui->EditGWID0->setText(v.gwId0);
    ui->EditSoftVer->setText(v.softVer);
    ui->EditAnbauort->setText(v.anbauort);
    ui->EditServerDNS->setText(v.serverDns);
    ui->EditPort->setText(v.port);
    ui->CheckBoxDHCP->setChecked(v.dhcp);
    ui->EditFestIP->setText(v.festIp);
    ui->EditGW->setText(v.gw);
    ui->EditSubMsk->setText(v.subMsk);
    ui->EditDNSSrv->setText(v.dnsSrv);
    ui->EditNTP->setText(v.ntp);
    setExclusiveChecks(ui->ButtonGroupInterval, {{ui->RadioButtonSofort, v.sofort},
                                                 {ui->RadioButtonProH, v.proH},
                                                 {ui->RadioButtonProTag, v.proTag},
                                                 {ui->RadioButtonProMonat, v.proMonat}});
    ui->EditMasterKey1->setText(v.masterKey);
    setExclusiveChecks(ui->ButtonGroupMode, {{ui->RadioButtonT, v.modeT}, {ui->RadioButtonS, v.modeS}});
    ui->CheckBoxFiltManCode->setChecked(v.filtManCode);
    QLineEdit* const hs[] = {ui->EditHS0, ui->EditHS1, ui->EditHS2, ui->EditHS3};
    QLineEdit* const mc[] = {ui->EditMC0, ui->EditMC1, ui->EditMC2, ui->EditMC3};
    for (int n = 0; n < SetupFormValues::FilterCodes; ++n) {
        hs[n]->setText(v.hs[n]);
        mc[n]->setText(v.mc[n]);
    }
    ui->CheckBoxFiltMC->setChecked(v.filtMC);
    ui->CheckBoxFiltFunkID->setChecked(v.filtFunkId);
    ui->ListBoxFiltIDs->clear();
    ui->ListBoxFiltIDs->addItems(v.radioIds);
    RefreshIDCount();
}

bool TFormGWsetup::AddRadioID(AddOrigin origin)
{
    const QString text = ui->EditID->text();
    const bool storable = isStorableRadioId(text);
    if (storable && ui->ListBoxFiltIDs->count() < MaxRadioIds)
        ui->ListBoxFiltIDs->addItem(text);
    else if (!storable && origin == AddOrigin::Hand)
        Prompter::instance().show(this, QStringLiteral("Ungültige Funk-ID: %1 (1 bis 8 Ziffern)").arg(text));
    RefreshIDCount();
    return storable;
}

void TFormGWsetup::RefreshIDCount()
{
    ui->LabelIDcount->setText(QStringLiteral("%1/%2").arg(ui->ListBoxFiltIDs->count()).arg(MaxRadioIds));
}

void TFormGWsetup::ButtonADDClick()
{
    AddRadioID();
}

bool TFormGWsetup::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == ui->ListBoxFiltIDs && event->type() == QEvent::KeyRelease)
        ListBoxFiltIDsKeyUp(static_cast<QKeyEvent*>(event));
    return QDialog::eventFilter(watched, event);
}

void TFormGWsetup::ListBoxFiltIDsKeyUp(const QKeyEvent* event)
{
    // A held key repeats its release; the entry goes once, when the key is let go.
    if (event->key() == Qt::Key_Delete && !event->isAutoRepeat()) {
        const QList<QListWidgetItem*> selected = ui->ListBoxFiltIDs->selectedItems();
        if (!selected.isEmpty())
            delete ui->ListBoxFiltIDs->takeItem(ui->ListBoxFiltIDs->row(selected.first()));
    }
    RefreshIDCount();
}

void TFormGWsetup::ButtonImportIDClick()
{
    const QString file = Prompter::instance().openFileName(
        this, SharedFolders::routes(), QStringLiteral("Geräteliste  (*.route)|*.ROUTE|AES-Keyliste  (*.csv)|*.CSV"));
    if (file.isEmpty())
        return;
    const QString extension = QLatin1Char('.') + QFileInfo(file).suffix().toUpper();
    if (extension == QLatin1String(".ROUTE"))
        ImportDeviceList(file);
    else if (extension == QLatin1String(".CSV"))
        ImportKeyList(file);
}

bool TFormGWsetup::addImportedId(const QString& id)
{
    ui->EditID->setText(id);
    return AddRadioID(AddOrigin::Import);
}

void TFormGWsetup::ImportDeviceList(const QString& fileName)
{
    const Result<DeviceListImport> list = readDeviceListIds(fileName);
    if (!list) {
        Prompter::instance().error(this, list.message());
        return;
    }
    int skipped = list->skipped;
    for (const QString& id : list->ids)
        skipped += addImportedId(id) ? 0 : 1;
    reportSkipped(skipped);
}

void TFormGWsetup::ImportKeyList(const QString& fileName)
{
    const Result<KeyListImport> read = readKeyListFile(fileName);
    if (!read) {
        // The fixed message first, then what the system said about the file.
        KeyListImport failed;
        failed.outcome = KeyListImport::Outcome::Unexpected;
        Prompter::instance().message(this, Prompter::Icon::Warning,
                                     failed.message() + QLatin1Char('\n') + read.message(), Prompter::Yes);
        return;
    }
    const KeyListImport& list = *read;
    int skipped = list.skipped;
    for (const QString& id : list.ids)
        skipped += addImportedId(id) ? 0 : 1;
    if (list.outcome == KeyListImport::Outcome::TooManyColumns)
        Prompter::instance().message(this, Prompter::Icon::Error, list.message(), Prompter::Ok);
    else if (list.outcome == KeyListImport::Outcome::Unexpected)
        Prompter::instance().message(this, Prompter::Icon::Warning, list.message(), Prompter::Yes);
    reportSkipped(skipped);
}

void TFormGWsetup::reportSkipped(int skipped)
{
    if (skipped <= 0)
        return;
    const QString text = skipped == 1
                             ? QStringLiteral("1 Eintrag wurde übersprungen (keine gültige Funk-ID).")
                             : QStringLiteral("%1 Einträge wurden übersprungen (keine gültige Funk-ID).").arg(skipped);
    Prompter::instance().message(this, Prompter::Icon::Information, text, Prompter::Ok);
}

void TFormGWsetup::ButtonSAVEClick()
{
    const SetupFormValues values = formValues();
    const QStringList problems = setupFormProblems(values);
    for (const QString& problem : problems)
        Prompter::instance().show(this, problem);
    if (!problems.isEmpty())
        return;

    const Result<QString> saved = SetupForm::save(setupsFolder(), values, QDateTime::currentDateTime());
    if (!saved) {
        Prompter::instance().error(this, saved.message());
        return;
    }
    sendSavedSetup(SetupForm::fileId(values));
}

QString TFormGWsetup::setupsFolder() const
{
    return m_session ? m_session->setupsFolder() : SharedFolders::setups();
}

void TFormGWsetup::sendSavedSetup(const GatewayId& fileId)
{
    if (!m_session)
        return;
    // Sent to the gateway the dialog was opened for, starting from what that gateway last reported.
    const Status started = m_session->sendSetupFile(m_targetAddress, m_openedGwid, fileId);
    if (!started)
        Prompter::instance().show(this, SetupTransfer::failureMessage() + QLatin1Char('\n') + started.message());
}

void TFormGWsetup::markChanges()
{
    const GatewayRead* read = m_session ? m_session->lastRead(m_targetAddress) : nullptr;
    if (!read || !read->record || read->id != m_openedGwid) {
        m_marks->show({});
        return;
    }
    m_marks->show(formDifferences(*read->record, formValues()));
}

QList<QWidget*> TFormGWsetup::markedControls() const
{
    return m_marks->marked();
}

void TFormGWsetup::setSession(GatewaySession* session)
{
    if (m_session)
        disconnect(m_session, nullptr, this, nullptr);
    m_session = session;
    m_sending.clear();
    if (session) {
        connect(session, &GatewaySession::transferStarted, this, [this](const QHostAddress& host) {
            m_sending.insert(host.toIPv4Address());
            refreshBusy();
        });
        connect(session, &GatewaySession::transferFinished, this, [this](const SetupTransfer::Report& report) {
            m_sending.remove(report.host.toIPv4Address());
            refreshBusy();
        });
    }
    refreshBusy();
}

void TFormGWsetup::refreshBusy()
{
    const bool busy = m_sending.contains(m_targetAddress.toIPv4Address());
    ui->ButtonSAVE->setEnabled(!busy);
    ui->ButtonLOAD->setEnabled(!busy);
}

void TFormGWsetup::closeAfterTransfer()
{
    close();
}
