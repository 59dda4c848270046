#include "GatewayAnswer.h"

#include "setups/SetupConversion.h"

HandledAnswer HandleGatewayAnswer(const QByteArray& bytes, const MasterKey& masterKey, const QString& setupsFolder)
{
    const Telegram::Answer answer = Telegram::decodeAnswer(bytes, masterKey);
    HandledAnswer handled;
    handled.kind = answer.kind;
    switch (answer.kind) {
    case Telegram::Answer::Kind::NotDecodable:
        return handled;
    case Telegram::Answer::Kind::WrongKey:
        handled.firmware = QStringLiteral("???");
        break;
    case Telegram::Answer::Kind::OtherType:
        break;
    case Telegram::Answer::Kind::Setup:
        handled.firmware = answer.record.firmwareText();
        handled.record = answer.record;
        if (!setupsFolder.isEmpty()) {
            const Status stored = SetupRecordToFile(setupsFolder, answer.gatewayId, answer.record);
            if (!stored)
                handled.storeError = stored.message();
        }
        break;
    }
    handled.gwid = answer.gatewayId.text();
    return handled;
}
