#include "TTelvaro.h"

#include "ui_TTelvaro.h"

#include "HexDigitsValidator.h"
#include "base/IniFile.h"
#include "base/SharedFolders.h"
#include "link/GatewayAnswer.h"
#include "link/ScanEngine.h"
#include "link/SetupTransfer.h"
#include "prompt/Prompter.h"
#include "setups/HexPair.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QNetworkInterface>
#include <QScreen>

TTelvaro* Telvaro = nullptr;

namespace {
const QString SectionWindow = QStringLiteral("WINDOW");
const QString SectionTcp = QStringLiteral("TCP");
const QString KeyMasterKey = QStringLiteral("MASTERKEY");
const QString DefaultSettingsKey = QStringLiteral("7C3E9A15D2084BF6E1A05C93D76F2B48");

struct LocalAddress
{
    QString address;
    QString interfaceName;
};

// Every IPv4 address of an interface that is up, loopback last.
QList<LocalAddress> localAddresses()
{
    QList<LocalAddress> found, loopback;
    for (const QNetworkInterface& iface : QNetworkInterface::allInterfaces()) {
        if (!iface.flags().testFlag(QNetworkInterface::IsUp))
            continue;
        for (const QNetworkAddressEntry& entry : iface.addressEntries()) {
            if (entry.ip().protocol() != QAbstractSocket::IPv4Protocol)
                continue;
            const LocalAddress a{entry.ip().toString(), iface.humanReadableName()};
            (entry.ip().isLoopback() ? loopback : found).append(a);
        }
    }
    return found + loopback;
}

// A segment edit: a whole number 0..255.
std::optional<int> segmentValue(const QString& text)
{
    bool ok = false;
    const int v = text.trimmed().toInt(&ok, 10);
    if (!ok || v < 0 || v > 255)
        return std::nullopt;
    return v;
}
} // namespace

TTelvaro::TTelvaro(const Options& options, QWidget* parent)
    : QMainWindow(parent), ui(std::make_unique<Ui::TTelvaro>()), m_scan(std::make_unique<ScanEngine>()),
      m_transfer(std::make_unique<SetupTransfer>())
{
    Telvaro = this;
    ui->setupUi(this);
    connect(ui->ButtonScann, &QPushButton::clicked, this, &TTelvaro::ButtonScannClick);
    connect(ui->ButtonStop, &QPushButton::clicked, this, &TTelvaro::ButtonStopClick);
    connect(ui->StringGrid1, &QTableWidget::cellDoubleClicked, this, &TTelvaro::StringGrid1DblClick);
    connect(ui->ComboLocalIP, &QComboBox::activated, this,
            [this](int index) { fillSegmentFromAddress(ui->ComboLocalIP->itemData(index).toString()); });
    ui->EditMasterKey->setValidator(new HexDigitsValidator(ui->EditMasterKey));
    ui->EditMasterKey->installEventFilter(this);
    connect(ui->EditMasterKey, &QLineEdit::textEdited, this,
            [this](const QString& text) { ui->LabelMKcount->setText(QStringLiteral("%1/32").arg(text.size())); });

    connect(m_scan.get(), &ScanEngine::tryingAddress, ui->Label5, &QLabel::setText);
    connect(m_scan.get(), &ScanEngine::answered, this, &TTelvaro::HandleGatewayAnswer);
    connect(m_scan.get(), &ScanEngine::progress, this, [this](int done, int total) {
        ui->ProgressScan->setMaximum(total);
        ui->ProgressScan->setValue(done);
    });
    connect(m_scan.get(), &ScanEngine::finished, this, &TTelvaro::onScanFinished);
    connect(m_transfer.get(), &SetupTransfer::finished, this,
            [this](bool acknowledged, SetupTransfer::Outcome, const QString& message) {
                onTransferFinished(acknowledged, message);
            });
    FormCreate(options);
}

TTelvaro::~TTelvaro()
{
    m_scan->stop();
    m_transfer->cancel();
    if (Telvaro == this)
        Telvaro = nullptr;
}

void TTelvaro::FormCreate(const Options& options)
{
    const QList<LocalAddress> addresses = localAddresses();
    const QString local = addresses.isEmpty() ? QStringLiteral("0.0.0.0") : addresses.first().address;
    ui->LabelIP->setText(local);
    for (const LocalAddress& a : addresses)
        ui->ComboLocalIP->addItem(QStringLiteral("%1 (%2)").arg(a.address, a.interfaceName), a.address);
    fillSegmentFromAddress(options.segment.isEmpty() ? local : options.segment + QStringLiteral(".0"));

    ui->StringGrid1->setHorizontalHeaderLabels(
        {QStringLiteral("IP:"), QStringLiteral("GWID:"), QStringLiteral("Firmware:")});
    ui->StringGrid1->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    resetGrid();

    m_setupsFolder = SharedFolders::setups();
    const Status folder = SharedFolders::ensureFolder(m_setupsFolder);
    if (!folder)
        Prompter::instance().error(this, folder.message());
    // The settings are read even without the setups folder.
    readSettings();
    if (options.port > 0)
        m_port = options.port;
    if (const auto key = parseMasterKeyText(ui->EditMasterKey->text()))
        m_masterKeyBytes = *key;
}

void TTelvaro::readSettings()
{
    m_settingsFile = SharedFolders::settingsFile();
    const Result<IniFile> loaded = IniFile::load(m_settingsFile);
    if (!loaded) {
        // The key on disk was not read, so closing must not overwrite it.
        m_masterKeyRead = false;
        ui->EditMasterKey->setText(DefaultSettingsKey);
        Prompter::instance().error(this, loaded.message());
        return;
    }
    const IniFile& ini = loaded.value();
    const int top = ini.readInteger(SectionWindow, QStringLiteral("TOP"), 10);
    const int width = ini.readInteger(SectionWindow, QStringLiteral("WIDTH"), 500);
    const int height = ini.readInteger(SectionWindow, QStringLiteral("HEIGHT"), 550);
    const int left = ini.readInteger(SectionWindow, QStringLiteral("LEFT"), 10);
    resize(qMax(width, 200), qMax(height, 200));
    QPoint position(left, top);
    bool onScreen = false;
    for (const QScreen* screen : QGuiApplication::screens())
        onScreen = onScreen || screen->availableGeometry().intersects(QRect(position, QSize(100, 40)));
    if (!onScreen && QGuiApplication::primaryScreen())
        position = QGuiApplication::primaryScreen()->availableGeometry().topLeft() + QPoint(10, 10);
    move(position);

    ui->EditMasterKey->setText(ini.readString(SectionTcp, KeyMasterKey, DefaultSettingsKey));
    m_masterKeyRead = true;
    m_port = qBound(1, ini.readInteger(SectionTcp, QStringLiteral("PORT"), 30), 65535);
    m_parallel = qBound(1, ini.readInteger(SectionTcp, QStringLiteral("PARALLEL"), 64), ScanEngine::AddressCount);
    m_connectTimeout = qBound(50, ini.readInteger(SectionTcp, QStringLiteral("CONNECTTIMEOUT"), 1000), 60000);
}

void TTelvaro::closeEvent(QCloseEvent* event)
{
    FormClose();
    QMainWindow::closeEvent(event);
}

void TTelvaro::FormClose()
{
    m_scan->stop();
    if (!m_masterKeyRead)
        return;
    Result<IniFile> loaded = IniFile::load(m_settingsFile);
    if (!loaded)
        return;
    IniFile& ini = loaded.value();
    Status written = ini.writeString(SectionTcp, KeyMasterKey, ui->EditMasterKey->text());
    if (written) {
        SharedFolders::ensureFolder(SharedFolders::mervane());
        written = ini.save();
    }
    if (!written)
        Prompter::instance().error(this, written.message());
}

void TTelvaro::fillSegmentFromAddress(const QString& address)
{
    // Each octet before a dot; anything that is not a number counts 0.
    QString rest = address;
    QLineEdit* edits[] = {ui->EditIP0, ui->EditIP1, ui->EditIP2};
    for (QLineEdit* edit : edits) {
        const qsizetype dot = rest.indexOf(QLatin1Char('.'));
        bool ok = false;
        const int value = (dot < 0 ? QString() : rest.left(dot)).toInt(&ok);
        edit->setText(QString::number(ok ? value : 0));
        rest = dot < 0 ? QString() : rest.mid(dot + 1);
    }
}

bool TTelvaro::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == ui->EditMasterKey && event->type() == QEvent::KeyPress) {
        // EditMasterKeyKeyPress: backspace and hex digits (upper-cased) pass; editing shortcuts pass
        // too, since the validator filters what they insert.
        auto* key = static_cast<QKeyEvent*>(event);
        const QString text = key->text();
        if (text.isEmpty() || key->key() == Qt::Key_Backspace || key->matches(QKeySequence::Paste) ||
            key->matches(QKeySequence::Copy) || key->matches(QKeySequence::Cut) ||
            key->matches(QKeySequence::SelectAll) || key->matches(QKeySequence::Undo))
            return false;
        const QChar c = HexDigitsValidator::filterTyped(text[0]);
        if (c.isNull())
            return true;
        if (c != text[0]) {
            ui->EditMasterKey->insert(QString(c));
            return true;
        }
        return false;
    }
    if (watched == ui->EditMasterKey && event->type() == QEvent::KeyRelease) {
        // EditMasterKeyKeyUp
        ui->LabelMKcount->setText(QStringLiteral("%1/32").arg(ui->EditMasterKey->text().size()));
        return false;
    }
    return QMainWindow::eventFilter(watched, event);
}

void TTelvaro::ButtonScannClick()
{
    int segment[3];
    QLineEdit* edits[] = {ui->EditIP0, ui->EditIP1, ui->EditIP2};
    for (int i = 0; i < 3; ++i) {
        const auto value = segmentValue(edits[i]->text());
        if (!value) {
            Prompter::instance().message(
                this, Prompter::Icon::Warning,
                QStringLiteral("Ungültiges IP-Segment: \"%1\". Erlaubt sind ganze Zahlen von 0 bis 255.")
                    .arg(edits[i]->text()),
                Prompter::Ok);
            return;
        }
        segment[i] = *value;
    }
    const auto key = parseMasterKeyText(ui->EditMasterKey->text());
    if (!key) {
        Prompter::instance().message(
            this, Prompter::Icon::Warning,
            QStringLiteral("Der Master Key muss aus genau 32 Hex-Ziffern (0-9, A-F) bestehen."), Prompter::Ok);
        return;
    }
    m_masterKeyBytes = *key;
    m_scan->stop();
    m_answerCount = 0;
    ui->LabelAnzahlGW->setText(QStringLiteral("0"));
    m_list.clear();
    resetGrid();
    ScanEngine::Settings settings;
    settings.a = segment[0];
    settings.b = segment[1];
    settings.c = segment[2];
    settings.port = quint16(m_port);
    settings.parallel = m_parallel;
    settings.connectTimeoutMs = m_connectTimeout;
    ui->ActivityIndicator1->setAnimate(true);
    m_scan->start(settings);
}

void TTelvaro::ButtonStopClick()
{
    StopScan();
}

void TTelvaro::StopScan()
{
    m_scan->stop();
    ui->ActivityIndicator1->setAnimate(false);
}

bool TTelvaro::scanRunning() const
{
    return m_scan->running();
}

void TTelvaro::onScanFinished()
{
    ui->ActivityIndicator1->setAnimate(false);
    ui->Label5->setText(QStringLiteral("Scan beendet: %1 Antworten").arg(m_answerCount));
    emit scanFinished();
}

void TTelvaro::HandleGatewayAnswer(const ScanAnswer& answer)
{
    const HandledAnswer handled = ::HandleGatewayAnswer(answer.bytes, m_masterKeyBytes, m_setupsFolder);
    ++m_answerCount; // every answer counts, also one that cannot be decoded
    ui->LabelAnzahlGW->setText(QString::number(m_answerCount));
    if (handled.record)
        m_received.insert(*GatewayId::fromText(handled.gwid), *handled.record);
    if (handled.listed())
        AddOrUpdateGatewayRow(handled.gwid, answer.ip, handled.firmware);
    if (!handled.storeError.isEmpty())
        ui->Label5->setText(QStringLiteral("Setup von %1 nicht gespeichert: %2").arg(handled.gwid, handled.storeError));
}

void TTelvaro::AddOrUpdateGatewayRow(const QString& gwid, const QString& ip, const QString& firmware)
{
    m_list.AddOrUpdateGatewayRow(gwid, ip, firmware);
    refreshGrid();
}

void TTelvaro::resetGrid()
{
    // One empty data row stands in the grid until a gateway is listed.
    ui->StringGrid1->clearContents();
    ui->StringGrid1->setRowCount(1);
    for (int col = 0; col < 3; ++col)
        ui->StringGrid1->setItem(0, col, new QTableWidgetItem());
}

void TTelvaro::refreshGrid()
{
    const QList<GatewayList::Row>& rows = m_list.rows();
    if (rows.isEmpty()) {
        resetGrid();
        return;
    }
    ui->StringGrid1->setRowCount(int(rows.size()));
    for (int r = 0; r < rows.size(); ++r) {
        const QString cells[] = {rows[r].ip, rows[r].gwid, rows[r].firmware};
        for (int col = 0; col < 3; ++col) {
            QTableWidgetItem* item = ui->StringGrid1->item(r, col);
            if (!item)
                ui->StringGrid1->setItem(r, col, item = new QTableWidgetItem());
            item->setText(cells[col]);
        }
    }
}

void TTelvaro::StringGrid1DblClick()
{
    StopScan();
    int row = ui->StringGrid1->currentRow();
    if (row < 0)
        row = 0;
    const auto cell = [this, row](int col) {
        const QTableWidgetItem* item = ui->StringGrid1->item(row, col);
        return item ? item->text() : QString();
    };
    const QString ip = cell(0), gwid = cell(1), firmware = cell(2);
    if (firmware == QStringLiteral("???")) {
        Prompter::instance().show(this,
                                  QStringLiteral("Keine gültigen Daten empfangen da der Master Key nicht stimmt!"));
        return;
    }
    emit openGatewaySetupRequested(gwid, ip);
}

GWSetupRecord TTelvaro::lastReceivedRecord(const GatewayId& id) const
{
    return m_received.value(id);
}

void TTelvaro::sendSetup(const GWSetupRecord& record, const QString& ip, const QString& expectedGwid)
{
    m_setupRecord = record;
    StartSetupTransfer(ip, expectedGwid);
}

void TTelvaro::StartSetupTransfer(const QString& ip, const QString& expectedGwid)
{
    if (m_transfer->running()) {
        // Never drop a running transfer silently: its outcome is still to be reported.
        Prompter::instance().message(
            this, Prompter::Icon::Warning,
            QStringLiteral("Es läuft bereits eine Übertragung; bitte auf ihr Ergebnis warten."), Prompter::Ok);
        return;
    }
    StopScan();
    ui->ButtonScann->setEnabled(false);
    SetupTransfer::Request request;
    request.host = QHostAddress(ip);
    request.port = quint16(m_port);
    request.connectTimeoutMs = m_connectTimeout;
    request.record = m_setupRecord;
    request.masterKey = m_masterKeyBytes;
    request.expectedId = GatewayId::fromText(expectedGwid);
    ui->Label5->setText(QStringLiteral("Sende Setup an %1").arg(ip));
    m_transfer->start(request);
    emit setupTransferStarted();
}

bool TTelvaro::transferRunning() const
{
    return m_transfer->running();
}

void TTelvaro::onTransferFinished(bool acknowledged, const QString& message)
{
    ui->ButtonScann->setEnabled(true);
    ui->Label5->clear();
    emit setupTransferFinished(acknowledged);
    Prompter::instance().show(this, message);
    if (acknowledged)
        emit setupTransferSucceeded();
}
