#include "SetupTransfer.h"

#include "Telegram.h"

SetupTransfer::SetupTransfer(QObject* parent) : QObject(parent)
{
    m_stageTimer.setSingleShot(true);
    m_stageTimer.callOnTimeout(this, &SetupTransfer::onStageTimeout);
    m_limit.setSingleShot(true);
    m_limit.callOnTimeout(this,
                          [this] { finish(m_stage == Stage::Connecting ? Outcome::Refused : Outcome::NoAnswer); });
}

SetupTransfer::~SetupTransfer()
{
    cancel();
}

QString SetupTransfer::successMessage()
{
    return QStringLiteral("Die Übertragung war erfolgreich!");
}

QString SetupTransfer::failureMessage()
{
    return QStringLiteral("Die Übertragung war NICHT erfolgreich!");
}

QString SetupTransfer::Report::message() const
{
    switch (outcome) {
    case Outcome::Acknowledged:
        return successMessage();
    case Outcome::OtherGateway:
        return failureMessage() + QLatin1Char('\n') +
               QStringLiteral("An der Adresse %1 meldet sich das Gateway %2 statt %3; es wurde nichts gesendet.")
                   .arg(host.toString(), answeredId.text(), expectedId.text());
    case Outcome::NoCipher:
        return failureMessage() + QLatin1Char('\n') +
               QStringLiteral("Die AES-128-Verschlüsselung steht nicht zur Verfügung; es wurde nichts gesendet.");
    default:
        return failureMessage();
    }
}

QString SetupTransfer::Report::reason() const
{
    switch (outcome) {
    case Outcome::Acknowledged:
        return QString();
    case Outcome::NotAcknowledged:
        return QStringLiteral("keine Bestätigung (0x06)");
    case Outcome::Refused:
        return QStringLiteral("keine Verbindung");
    case Outcome::NoAnswer:
        return QStringLiteral("keine Antwort auf die Schreibanforderung");
    case Outcome::OtherGateway:
        return QStringLiteral("an der Adresse meldet sich das Gateway %1").arg(answeredId.text());
    case Outcome::NoCipher:
        return QStringLiteral("AES-128 nicht verfügbar");
    }
    return QString();
}

void SetupTransfer::start(const Request& request)
{
    cancel();
    m_request = request;
    m_report = Report();
    m_report.host = request.host;
    m_report.expectedId = request.expectedId;
    m_buffer.clear();
    m_answerBegun = false;
    m_running = true;
    m_stage = Stage::Connecting;
    // A fresh socket per transfer: nothing of an earlier connection can reach this one.
    m_socket = new QTcpSocket(this);
    m_socket->setReadBufferSize(4096);
    connect(m_socket, &QTcpSocket::connected, this, &SetupTransfer::onConnected);
    connect(m_socket, &QTcpSocket::readyRead, this, &SetupTransfer::onReadyRead);
    // Queued: Windows may report a refused connection inside connectToHost(). A report of a socket
    // this transfer has given up meanwhile is not its business.
    connect(
        m_socket, &QTcpSocket::errorOccurred, this,
        [this, socket = m_socket](QAbstractSocket::SocketError) {
            if (socket == m_socket)
                onClosed();
        },
        Qt::QueuedConnection);
    connect(m_socket, &QTcpSocket::disconnected, this, &SetupTransfer::onClosed);
    m_limit.start(request.timings.transferLimitMs);
    m_stageTimer.start(request.timings.connectMs);
    m_socket->connectToHost(request.host, request.port);
}

void SetupTransfer::cancel()
{
    m_running = false;
    end();
}

void SetupTransfer::end()
{
    m_stageTimer.stop();
    m_limit.stop();
    if (m_socket) {
        QTcpSocket* socket = m_socket;
        m_socket = nullptr;
        socket->disconnect(this);
        socket->abort();
        socket->deleteLater();
    }
}

void SetupTransfer::onConnected()
{
    m_stage = Stage::WaitingAnswer;
    m_stageTimer.start(m_request.timings.writeAnswerMs);
    m_socket->write(Telegram::WriteSetupRequest());
}

void SetupTransfer::onReadyRead()
{
    if (!m_running || !m_socket)
        return;
    const qint64 room = 4096 - m_buffer.size();
    if (room > 0)
        m_buffer += m_socket->read(room);
    m_socket->skip(m_socket->bytesAvailable());

    if (m_stage == Stage::WaitingAnswer) {
        if (!m_answerBegun && !m_buffer.isEmpty()) {
            m_answerBegun = true;
            m_stageTimer.start(m_request.timings.writeRestMs);
        }
        // The whole answer is read before the setup goes out, so no byte of it is taken for the
        // acknowledgement. A length field that cannot be right: the first 10 bytes are enough.
        const Telegram::FrameState state = Telegram::answerState(m_buffer);
        if (state == Telegram::FrameState::Complete ||
            (state == Telegram::FrameState::Bad && m_buffer.size() >= Telegram::HeaderSize))
            sendTelegram();
    } else if (m_stage == Stage::WaitingAck) {
        if (!m_buffer.isEmpty())
            finish(quint8(m_buffer[0]) == Telegram::Ack ? Outcome::Acknowledged : Outcome::NotAcknowledged);
    }
}

void SetupTransfer::onStageTimeout()
{
    if (m_stage == Stage::WaitingAnswer && m_answerBegun && m_buffer.size() >= Telegram::HeaderSize)
        sendTelegram(); // the header is all that is needed of the answer
    else if (m_stage == Stage::Connecting)
        finish(Outcome::Refused);
    else if (m_stage == Stage::WaitingAck)
        finish(Outcome::NotAcknowledged);
    else
        finish(Outcome::NoAnswer);
}

void SetupTransfer::onClosed()
{
    if (!m_running)
        return;
    if (m_socket && m_socket->bytesAvailable() > 0)
        onReadyRead();
    if (!m_running)
        return;
    switch (m_stage) {
    case Stage::Connecting:
        finish(Outcome::Refused);
        break;
    case Stage::WaitingAnswer:
        finish(Outcome::NoAnswer);
        break;
    case Stage::WaitingAck:
        finish(Outcome::NotAcknowledged);
        break;
    }
}

void SetupTransfer::sendTelegram()
{
    const std::optional<Telegram::AnswerHeader> header = Telegram::writeAnswerHeader(m_buffer);
    if (!header) {
        finish(Outcome::NoAnswer);
        return;
    }
    m_report.answeredId = header->gatewayId;
    if (m_request.expectedId != header->gatewayId) {
        finish(Outcome::OtherGateway);
        return;
    }
    const Result<QByteArray> telegram = Telegram::BuildSetupTelegram(m_request.record, header->keyMaterial,
                                                                     header->gatewayId.bytes, m_request.masterKey);
    if (!telegram) {
        finish(Outcome::NoCipher);
        return;
    }
    m_buffer.clear();
    m_stage = Stage::WaitingAck;
    // From here the acknowledgement window alone decides; the limit is for a transfer that never
    // got this far.
    m_limit.stop();
    m_stageTimer.start(m_request.timings.ackWindowMs());
    m_report.telegramSent = true;
    m_socket->write(*telegram);
}

void SetupTransfer::finish(Outcome outcome)
{
    if (!m_running)
        return;
    m_running = false;
    end();
    m_report.outcome = outcome;
    emit finished(m_report);
}
