#include "TTelvaro.h"

#include "ui_TTelvaro.h"

#include "GatewayGrid.h"
#include "WindowPlacement.h"
#include "base/SharedFolders.h"
#include "common/EditKeyFilter.h"
#include "common/HexDigitsValidator.h"
#include "common/Prompter.h"
#include "link/LocalNetworks.h"
#include "session/ConfirmedSegments.h"
#include "setups/FieldRules.h"

#include <QCloseEvent>

TTelvaro::TTelvaro(const Options& options, QWidget* parent) : QMainWindow(parent), ui(std::make_unique<Ui::TTelvaro>())
{
    ui->setupUi(this);
    // The status line shows what fits; the whole text is its tooltip. It never widens the window.
    ui->Label5->setSizePolicy(QSizePolicy::Ignored, ui->Label5->sizePolicy().verticalPolicy());
    connect(ui->ButtonScann, &QPushButton::clicked, this, &TTelvaro::ButtonScannClick);
    connect(ui->ButtonStop, &QPushButton::clicked, this, &TTelvaro::StopScan);
    connect(ui->StringGrid1, &QTableWidget::cellDoubleClicked, this, &TTelvaro::StringGrid1DblClick);
    connect(ui->ComboLocalIP, &QComboBox::activated, this,
            [this](int index) { fillSegment(ui->ComboLocalIP->itemData(index).toString()); });
    // EditMasterKeyKeyPress and EditMasterKeyKeyUp: hex digits only, and the count of characters.
    ui->EditMasterKey->setValidator(new HexDigitsValidator(ui->EditMasterKey));
    new EditKeyFilter(
        ui->EditMasterKey, [](QChar& key) { key = HexDigitsValidator::filterTyped(key); }, 0,
        [this] { ui->LabelMKcount->setText(FieldRules::masterKeyCountText(ui->EditMasterKey->text().size())); });

    connect(&m_session, &GatewaySession::addressTried, this,
            [this](const QHostAddress& host) { showStatus(host.toString()); });
    connect(&m_session, &GatewaySession::answerCounted, this,
            [this](int answers) { ui->LabelAnzahlGW->setText(QString::number(answers)); });
    connect(&m_session, &GatewaySession::progress, this, [this](int done, int total) {
        ui->ProgressScan->setMaximum(total);
        ui->ProgressScan->setValue(done);
    });
    connect(&m_session, &GatewaySession::listChanged, this, &TTelvaro::drawRows);
    connect(&m_session, &GatewaySession::scanFinished, this, &TTelvaro::onScanFinished);
    connect(&m_session, &GatewaySession::transferStarted, this, [this](const QHostAddress& host) {
        m_sending.insert(host.toIPv4Address());
        ui->ButtonScann->setEnabled(false);
        showStatus(QStringLiteral("Sende Setup an %1").arg(host.toString()));
    });
    connect(&m_session, &GatewaySession::transferFinished, this, &TTelvaro::onTransferFinished);
    connect(&m_session, &GatewaySession::verificationFinished, this, &TTelvaro::onVerified);

    // The list's context menu: a template for the marked gateways, the list as a file.
    m_actions = new GatewayListActions(m_session, this);
    m_actions->installListMenu(ui->StringGrid1);
    connect(m_actions, &GatewayListActions::aboutToApply, this, &TTelvaro::StopScan);
    connect(m_actions, &GatewayListActions::statusText, this, &TTelvaro::showStatus);
    connect(m_actions, &GatewayListActions::applyFinished, this,
            [this] { ui->ButtonScann->setEnabled(m_sending.isEmpty()); });
    FormCreate(options);
}

TTelvaro::~TTelvaro()
{
    m_session.stopScan();
}

void TTelvaro::FormCreate(const Options& options)
{
    m_segmentIsLocal = options.segmentIsLocal;
    if (!m_segmentIsLocal)
        m_segmentIsLocal = [](const Segment& segment) { return segmentIsLocal(segment, localIPv4Addresses()); };
    const QList<LocalAddress> addresses = localIPv4Addresses();
    const QString local = addresses.isEmpty() ? QStringLiteral("0.0.0.0") : addresses.first().address.toString();
    ui->LabelIP->setText(local);
    for (const LocalAddress& a : addresses)
        ui->ComboLocalIP->addItem(QStringLiteral("%1 (%2)").arg(a.address.toString(), a.interfaceName),
                                  a.address.toString());
    fillSegment(options.segment.isEmpty() ? local : options.segment + QStringLiteral(".0"));
    prepareGatewayGrid(ui->StringGrid1);
    drawRows();

    m_settingsFile = SharedFolders::settingsFile();
    GatewaySession::Overrides overrides;
    if (options.port > 0)
        overrides.port = quint16(options.port);
    overrides.keyCheckedBeforeScan = true;
    const Result<GatewaySession::Configuration> configured = m_session.configure(m_settingsFile, overrides);
    if (!configured) { // cannot happen with the key checked before each scan; the defaults stay
        Prompter::instance().error(this, configured.message());
        return;
    }
    m_masterKeyRead = configured->settingsRead; // a key that was not read must not be overwritten on closing
    m_confirmedSegments = ConfirmedSegments::read(m_settingsFile);
    if (!configured->note.isEmpty())
        Prompter::instance().error(this, configured->note);
    placeWindow(this, configured->window);
    ui->EditMasterKey->setText(configured->masterKeyText);
}

void TTelvaro::closeEvent(QCloseEvent* event)
{
    FormClose();
    QMainWindow::closeEvent(event);
}

void TTelvaro::FormClose()
{
    m_session.stopScan();
    if (!m_masterKeyRead)
        return;
    if (const Status stored = storeMasterKeyText(m_settingsFile, ui->EditMasterKey->text()); !stored)
        Prompter::instance().error(this, stored.message());
}

void TTelvaro::showStatus(const QString& text)
{
    ui->Label5->setText(text);
    ui->Label5->setToolTip(text);
}

void TTelvaro::fillSegment(const QString& address)
{
    // The first three octets of an address; anything that is not a number counts 0.
    const QStringList parts = address.split(QLatin1Char('.'));
    QLineEdit* edits[] = {ui->EditIP0, ui->EditIP1, ui->EditIP2};
    for (int i = 0; i < 3; ++i) {
        bool ok = false;
        const int value = i + 1 < parts.size() ? parts[i].toInt(&ok) : 0;
        edits[i]->setText(QString::number(ok ? value : 0));
    }
}

void TTelvaro::ButtonScannClick()
{
    const Result<Segment> segment = Segment::fromParts({ui->EditIP0->text(), ui->EditIP1->text(), ui->EditIP2->text()});
    if (!segment) {
        Prompter::instance().message(this, Prompter::Icon::Warning, segment.message(), Prompter::Ok);
        return;
    }
    const Result<MasterKey> key = LinkSettings::masterKeyFromText(ui->EditMasterKey->text());
    if (!key) {
        Prompter::instance().message(this, Prompter::Icon::Warning, key.message(), Prompter::Ok);
        return;
    }
    m_session.setMasterKey(*key);
    // A segment in no network of this PC is most likely a typing error: asked once per segment, and
    // a "Ja" is kept in the settings file.
    if (!m_segmentIsLocal(*segment) && !m_confirmedSegments.contains(*segment)) {
        const QString question = QStringLiteral("Das Segment %1 liegt in keinem lokalen IPv4-Netz dieses PCs. "
                                                "Trotzdem absuchen?")
                                     .arg(segment->text());
        if (Prompter::instance().message(this, Prompter::Icon::Question, question, Prompter::Yes | Prompter::No) !=
            Prompter::Yes)
            return;
        m_confirmedSegments << *segment;
        if (m_masterKeyRead) // a settings file that could not be read is never written
            if (const Status kept = ConfirmedSegments::remember(m_settingsFile, *segment); !kept)
                Prompter::instance().error(this, kept.message());
    }
    ui->ActivityIndicator1->setAnimate(true);
    m_session.startScan(*segment);
}

void TTelvaro::StopScan()
{
    m_session.stopScan();
    ui->ActivityIndicator1->setAnimate(false);
}

void TTelvaro::onScanFinished()
{
    ui->ActivityIndicator1->setAnimate(false);
    showStatus(m_session.scanSummary());
    // A history that cannot be kept fails the same way at every scan: said once per run.
    QString history = m_session.historyStatus().message();
    if (m_historyReported)
        history.clear();
    m_historyReported = m_historyReported || !history.isEmpty();
    for (const QString& warning : {history, m_session.storeFailureMessage()})
        if (!warning.isEmpty())
            Prompter::instance().message(this, Prompter::Icon::Warning, warning, Prompter::Ok);
    emit scanFinished();
}

void TTelvaro::drawRows()
{
    drawGatewayGrid(ui->StringGrid1, m_session.list().rows(), m_session.missing());
}

void TTelvaro::StringGrid1DblClick()
{
    StopScan();
    const int index = ui->StringGrid1->currentRow();
    if (index < 0 || index >= m_session.list().size())
        return; // the empty row before any gateway is listed
    const GatewayRow row = m_session.list().rows()[index];
    if (const QString why = row.whyNotOpened(); !why.isEmpty()) {
        Prompter::instance().show(this, why);
        return;
    }
    emit openGatewaySetupRequested(row.id, row.address);
}

void TTelvaro::onTransferFinished(const SetupTransfer::Report& report)
{
    // Only the sending holds the scan back (and a template's run, which works through the list); a
    // read-back runs alongside a scan.
    m_sending.remove(report.host.toIPv4Address());
    ui->ButtonScann->setEnabled(m_sending.isEmpty() && !m_actions->applying());
    showStatus(m_session.transferRunning(report.host)
                   ? QStringLiteral("Kontrolle: lese %1 zurück").arg(report.host.toString())
                   : QString());
    emit setupTransferFinished(report.acknowledged());
    if (!m_actions->applying()) // a template's run reports in its own table
        Prompter::instance().show(this, report.message());
    if (report.acknowledged())
        emit setupTransferSucceeded();
}

void TTelvaro::onVerified(const SetupVerifier::Report& report)
{
    showStatus(report.statusLine());
    if (m_actions->applying())
        return;
    if (const std::optional<MasterKey> key = reportReadBack(report)) {
        ui->EditMasterKey->setText(report.keyText());
        ui->LabelMKcount->setText(FieldRules::masterKeyCountText(report.keyText().size()));
        m_session.setMasterKey(*key);
    }
}

std::optional<MasterKey> TTelvaro::reportReadBack(const SetupVerifier::Report& report)
{
    if (report.result != SetupVerifier::Report::Result::Verified)
        Prompter::instance().message(this, Prompter::Icon::Warning, report.lines().join(QLatin1Char('\n')),
                                     Prompter::Ok);
    if (!report.newKey)
        return std::nullopt;
    const Prompter::Button answer = Prompter::instance().message(
        this, Prompter::Icon::Question,
        QStringLiteral("Das Gateway verwendet jetzt den Master Key %1. Als Master Key übernehmen?")
            .arg(report.keyText()),
        Prompter::Yes | Prompter::No);
    return answer == Prompter::Yes ? std::optional<MasterKey>(report.key) : std::nullopt;
}
