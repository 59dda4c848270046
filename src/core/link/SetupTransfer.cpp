#include "SetupTransfer.h"

#include "Telegram.h"

SetupTransfer::SetupTransfer(QObject* parent) : QObject(parent)
{
    m_stageTimer.setSingleShot(true);
    m_stageTimer.callOnTimeout(this, &SetupTransfer::onStageTimeout);
    m_backstop.setSingleShot(true);
    m_backstop.callOnTimeout(this, [this] { fail(Outcome::NoAnswer); });
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

void SetupTransfer::start(const Request& request)
{
    cancel();
    m_request = request;
    m_buffer.clear();
    m_answerBegun = false;
    m_running = true;
    m_stage = Stage::Connecting;
    // A fresh socket per transfer: nothing of an earlier connection can reach this one.
    m_socket = new QTcpSocket(this);
    m_socket->setReadBufferSize(4096);
    connect(m_socket, &QTcpSocket::connected, this, &SetupTransfer::onConnected);
    connect(m_socket, &QTcpSocket::readyRead, this, &SetupTransfer::onReadyRead);
    connect(m_socket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError) { onClosed(); });
    connect(m_socket, &QTcpSocket::disconnected, this, &SetupTransfer::onClosed);
    m_backstop.start(BackstopMs);
    m_stageTimer.start(request.connectTimeoutMs);
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
    m_backstop.stop();
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
    m_stageTimer.start(AnswerBeginMs);
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
            m_stageTimer.start(AnswerRestMs);
        }
        // The whole answer is read before the setup goes out, so no byte of it is taken for the
        // acknowledgement. A length field that cannot be right: the first 10 bytes are enough.
        const Telegram::FrameState state = Telegram::answerState(m_buffer);
        if (state == Telegram::FrameState::Complete ||
            (state == Telegram::FrameState::Bad && m_buffer.size() >= Telegram::HeaderSize))
            sendTelegram();
    } else if (m_stage == Stage::WaitingAck) {
        if (m_buffer.isEmpty())
            return;
        if (quint8(m_buffer[0]) == Telegram::Ack)
            succeed();
        else
            fail(Outcome::NotAcknowledged);
    }
}

void SetupTransfer::onStageTimeout()
{
    if (m_stage == Stage::WaitingAnswer && m_answerBegun && m_buffer.size() >= Telegram::HeaderSize)
        sendTelegram(); // the header is all that is needed of the answer
    else if (m_stage == Stage::Connecting)
        fail(Outcome::Refused);
    else
        fail(Outcome::NoAnswer);
}

void SetupTransfer::onClosed()
{
    if (!m_running)
        return;
    if (m_socket && m_socket->bytesAvailable() > 0)
        onReadyRead();
    if (!m_running)
        return;
    fail(m_stage == Stage::Connecting ? Outcome::Refused : Outcome::NoAnswer);
}

void SetupTransfer::sendTelegram()
{
    KeyMaterial material{};
    if (!Telegram::readWriteAnswerHeader(m_buffer, m_answeredId, material)) {
        fail(Outcome::NoAnswer);
        return;
    }
    if (m_request.expectedId && *m_request.expectedId != m_answeredId) {
        fail(Outcome::OtherGateway,
             QStringLiteral("An der Adresse %1 meldet sich das Gateway %2 statt %3; es wurde nichts gesendet.")
                 .arg(m_request.host.toString(), m_answeredId.text(), m_request.expectedId->text()));
        return;
    }
    m_buffer.clear();
    m_stage = Stage::WaitingAck;
    // From here the acknowledgement window alone decides; the backstop is for a transfer that never
    // got this far.
    m_backstop.stop();
    m_stageTimer.start(AckWindowMs);
    m_socket->write(Telegram::BuildSetupTelegram(m_request.record, material, m_answeredId.bytes, m_request.masterKey));
}

void SetupTransfer::succeed()
{
    m_running = false;
    end();
    emit finished(true, Outcome::Acknowledged, successMessage());
}

void SetupTransfer::fail(Outcome outcome, const QString& detail)
{
    if (!m_running)
        return;
    m_running = false;
    end();
    const QString message = detail.isEmpty() ? failureMessage() : failureMessage() + QLatin1Char('\n') + detail;
    emit finished(false, outcome, message);
}
