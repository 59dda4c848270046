#include "GatewayExchange.h"

#include "GatewayFrames.h"
#include "LingerZero.h"

#include "link/Telegram.h"

#include <QRandomGenerator>
#include <QTcpSocket>

#include <utility>

namespace {

constexpr int RequestSize = 4;
constexpr int SplitAt = 600;
constexpr int TrickleMaxBytes = 15;
constexpr qint64 FloodTotal = 100LL * 1024 * 1024;
constexpr qint64 FloodChunk = 64 * 1024;
constexpr qint64 FloodHighWater = 1024 * 1024;
constexpr int TrailingJunk = 50;
constexpr int WriteShortBytes = 5;

} // namespace

GatewayExchange::GatewayExchange(QTcpSocket* socket, const SimulatedGateway& gateway, QObject* parent)
    : QObject(parent), m_socket(socket), m_gateway(gateway)
{
    m_socket->setParent(this);
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    const quint32 random = QRandomGenerator::system()->generate();
    for (int i = 0; i < 4; ++i)
        m_keyMaterial[i] = quint8(random >> (8 * i));
}

GatewayExchange::~GatewayExchange() = default;

void GatewayExchange::start()
{
    connect(m_socket, &QTcpSocket::readyRead, this, &GatewayExchange::onReadyRead);
    connect(m_socket, &QTcpSocket::disconnected, this, &GatewayExchange::onDisconnected);
    connect(m_socket, &QTcpSocket::bytesWritten, this, [this] {
        if (m_floodLeft > 0)
            feedFlood();
    });
    if (m_gateway.behaviour == GatewayBehaviour::Close) {
        m_socket->close();
        return;
    }
    if (m_socket->state() != QAbstractSocket::ConnectedState) {
        onDisconnected();
        return;
    }
    if (m_socket->bytesAvailable() > 0)
        onReadyRead();
}

void GatewayExchange::drop()
{
    m_finished = true;
    m_timer.stop();
    m_floodLeft = 0;
    m_state = State::Done;
    m_socket->abort();
    deleteLater();
}

MasterKey GatewayExchange::exchangeKey() const
{
    if (m_gateway.behaviour == GatewayBehaviour::WrongKey)
        return SimulatedGateway::otherMasterKey(m_gateway.masterKey);
    return m_gateway.masterKey;
}

void GatewayExchange::onReadyRead()
{
    const QByteArray chunk = m_socket->readAll();
    if (m_state == State::AwaitRequest) {
        m_input += chunk;
        if (m_input.size() < RequestSize || m_gateway.behaviour == GatewayBehaviour::Silent)
            return;
        const QByteArray request = m_input.left(RequestSize);
        m_input.remove(0, RequestSize);
        m_state = State::Answering;
        if (request == Telegram::ReadSetupRequest()) {
            if (m_gateway.answerDelayMs > 0)
                QTimer::singleShot(m_gateway.answerDelayMs, Qt::PreciseTimer, this, &GatewayExchange::answerRead);
            else
                answerRead();
        } else if (request == Telegram::WriteSetupRequest()) {
            answerWrite();
            onReadyRead(); // a setup telegram may have come with the request
        } else {
            // No gateway answers a request it does not know.
            m_state = State::Done;
            m_socket->close();
        }
        if (m_state != State::AwaitSetup)
            m_input.clear();
    } else if (m_state == State::AwaitSetup) {
        m_input += chunk;
        if (m_input.size() >= Telegram::SetupTelegramSize) {
            m_state = State::Done;
            takeSetup(m_input.left(Telegram::SetupTelegramSize));
        }
    }
    // Anything else after the answer is read and dropped: one connection carries one exchange.
}

QByteArray GatewayExchange::readFrame() const
{
    const MasterKey key = exchangeKey();
    if (m_gateway.behaviour == GatewayBehaviour::OtherType)
        return GatewayFrames::answer(GatewayFrames::OtherAnswerType, m_gateway.id, m_keyMaterial, key, {});
    QByteArray frame =
        GatewayFrames::answer(Telegram::SetupType, m_gateway.id, m_keyMaterial, key, m_gateway.record.toByteArray());
    if (m_gateway.behaviour == GatewayBehaviour::LengthField) {
        frame[0] = char((m_gateway.lengthField >> 8) & 0xFF);
        frame[1] = char(m_gateway.lengthField & 0xFF);
    }
    return frame;
}

void GatewayExchange::answerRead()
{
    if (m_state != State::Answering || m_socket->state() != QAbstractSocket::ConnectedState)
        return;
    m_state = State::Done;
    const QByteArray frame = readFrame();
    switch (m_gateway.behaviour) {
    case GatewayBehaviour::Short:
        m_socket->write(frame.left(9));
        break;
    case GatewayBehaviour::Split:
        m_socket->write(frame.left(SplitAt));
        m_output = frame.mid(SplitAt);
        m_timer.callOnTimeout(this, [this] { m_socket->write(std::exchange(m_output, {})); });
        m_timer.start(m_gateway.splitPauseMs);
        break;
    case GatewayBehaviour::ByteWise:
    case GatewayBehaviour::Trickle:
        // Without Nagle every byte leaves in a segment of its own.
        m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        m_output = frame;
        m_timer.setSingleShot(false);
        m_timer.callOnTimeout(this, &GatewayExchange::paceOneByte);
        m_timer.start(m_gateway.behaviour == GatewayBehaviour::ByteWise ? m_gateway.byteIntervalMs
                                                                        : m_gateway.trickleIntervalMs);
        break;
    case GatewayBehaviour::Flood:
        m_socket->write(frame);
        m_floodLeft = FloodTotal - frame.size();
        feedFlood();
        break;
    case GatewayBehaviour::ResetMidFrame:
        m_socket->write(frame.left(frame.size() / 2));
        m_socket->flush();
        m_timer.callOnTimeout(this, &GatewayExchange::resetConnection);
        m_timer.start(m_gateway.resetPauseMs);
        break;
    case GatewayBehaviour::TrailingBytes:
        m_socket->write(frame + QByteArray(TrailingJunk, char(0xE5)));
        break;
    case GatewayBehaviour::TwoFrames:
        m_socket->write(frame + frame);
        break;
    default:
        m_socket->write(frame);
        break;
    }
}

void GatewayExchange::paceOneByte()
{
    const bool trickle = m_gateway.behaviour == GatewayBehaviour::Trickle;
    if (m_output.isEmpty() || m_socket->state() != QAbstractSocket::ConnectedState ||
        (trickle && m_paced >= TrickleMaxBytes)) {
        m_timer.stop();
        return;
    }
    m_socket->write(m_output.left(1));
    m_socket->flush();
    m_output.remove(0, 1);
    ++m_paced;
}

void GatewayExchange::feedFlood()
{
    // Driven by bytesWritten: the write buffer stays bounded whatever the peer reads.
    while (m_floodLeft > 0 && m_socket->state() == QAbstractSocket::ConnectedState &&
           m_socket->bytesToWrite() < FloodHighWater) {
        const qint64 n = std::min(FloodChunk, m_floodLeft);
        m_socket->write(QByteArray(n, char(0x5A)));
        m_floodLeft -= n;
    }
}

void GatewayExchange::resetConnection()
{
    // Linger 0: closing sends RST instead of FIN.
    lingerZero(m_socket->socketDescriptor());
    m_socket->abort();
}

void GatewayExchange::answerWrite()
{
    // The tool reads only the identifier and key material of this answer; one encrypted marker
    // block lets a peer check the key all the same.
    QByteArray frame = GatewayFrames::answer(Telegram::SetupType, m_gateway.id, m_keyMaterial, exchangeKey(), {});
    if (m_gateway.behaviour == GatewayBehaviour::WriteShort)
        frame.truncate(WriteShortBytes);
    m_state = State::AwaitSetup;
    m_socket->write(frame);
}

void GatewayExchange::takeSetup(const QByteArray& telegram)
{
    const std::optional<GWSetupRecord> record =
        GatewayFrames::readSetupTelegram(telegram, m_gateway.id, m_keyMaterial, exchangeKey());
    ReceivedSetup setup;
    setup.address = m_gateway.address;
    setup.gatewayId = m_gateway.id;
    setup.wellFormed = record.has_value();
    if (record)
        setup.record = *record;
    setup.rawTelegram = telegram;
    emit setupReceived(setup);

    const QByteArray ack(1, char(Telegram::Ack));
    const QByteArray nak(1, char(GatewayFrames::Nak));
    if (m_gateway.behaviour == GatewayBehaviour::NoAck)
        return;
    if (!record) {
        acknowledge(nak, false);
        return;
    }
    switch (m_gateway.behaviour) {
    case GatewayBehaviour::Nak:
        acknowledge(nak, false);
        break;
    case GatewayBehaviour::AckPlus:
        m_pendingRecord = *record;
        acknowledge(QByteArray::fromHex("06151515"), true);
        break;
    case GatewayBehaviour::KeepsOld:
        acknowledge(ack, false);
        break;
    case GatewayBehaviour::ChangesField:
        m_pendingRecord = *record;
        m_pendingRecord.setServerPort(quint16(record->serverPort() + 1));
        acknowledge(ack, true);
        break;
    case GatewayBehaviour::LateAck:
        m_pendingRecord = *record;
        m_timer.callOnTimeout(this, [this, ack] { acknowledge(ack, true); });
        m_timer.start(m_gateway.lateAckMs);
        break;
    default:
        m_pendingRecord = *record;
        acknowledge(ack, true);
        break;
    }
}

void GatewayExchange::acknowledge(const QByteArray& bytes, bool adopt)
{
    if (m_socket->state() != QAbstractSocket::ConnectedState)
        return;
    m_socket->write(bytes);
    // Out before the gateway may restart on adopting.
    m_socket->flush();
    if (adopt)
        emit recordAdopted(m_pendingRecord);
}

void GatewayExchange::onDisconnected()
{
    if (m_finished)
        return;
    m_finished = true;
    m_timer.stop();
    m_floodLeft = 0;
    if (m_state == State::AwaitSetup && !m_input.isEmpty()) {
        // The peer gave up part-way through the setup telegram.
        ReceivedSetup setup;
        setup.address = m_gateway.address;
        setup.gatewayId = m_gateway.id;
        setup.rawTelegram = m_input;
        m_state = State::Done;
        emit setupReceived(setup);
    }
    emit finished();
    deleteLater();
}
