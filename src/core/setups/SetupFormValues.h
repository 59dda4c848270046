#pragma once

#include "FieldRules.h"
#include "base/IniFile.h"
#include "base/Result.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <array>

// Every value of the setup dialog, as the controls hold it: texts unchanged, check states as flags.
// Loading, checking and writing a setup file work on this, so they run without a window.
struct SetupFormValues
{
    static constexpr int MaxRadioIds = FieldRules::MaxRadioIds;
    static constexpr int FilterCodes = 4;

    QString gwId2 = QStringLiteral("00");
    QString gwId1 = QStringLiteral("00");
    QString gwId0 = QStringLiteral("00");
    QString anbauort;
    QString softVer = QStringLiteral("0.0.0");
    QString sendTime = QStringLiteral("0.0.0 00:00:00");
    QString empfTime = QStringLiteral("0.0.0 00:00:00");
    bool sofort = false;
    bool proH = true;
    bool proTag = false;
    bool proMonat = false;

    QString serverDns;
    QString port = QStringLiteral("23");
    bool dhcp = true;
    QString festIp = QStringLiteral("192.168.1.98");
    QString gw = QStringLiteral("192.168.001.010");
    QString subMsk = QStringLiteral("255.255.255.000");
    QString dnsSrv;
    QString ntp;
    QString masterKey;

    bool modeT = true;
    bool modeS = false;
    bool filtManCode = false;
    std::array<QString, FilterCodes> hs;
    bool filtMC = false;
    std::array<QString, FilterCodes> mc;
    bool filtFunkId = false;
    QStringList radioIds;

    // The contents of a newly created dialog.
    static SetupFormValues initial();
};

namespace SetupFormDefaults {
// Host name of the server program that a new dialog offers.
inline const QString ServerHost = QStringLiteral("wmbus.example.com");
} // namespace SetupFormDefaults

// "9.9.9.9" -> "009.009.009.009": how the dialog first shows an address.
QString threeDigitAddress(const QString& dotted);

// Fills values from a setup file as the dialog's load does, with the dialog's defaults. When id2, id1
// and id0 are all given they name the gateway, otherwise the file's GW_ID keys do. Of the interval
// flags only the last one set in the file stays set (none when none is); MODES set wins over MODET.
// Radio IDs come in file order without limit, numbers as eight digits with leading zeros; a value
// that is not a number is listed as it stands.
void loadSetupFormValues(const IniFile& ini, const QString& id2, const QString& id1, const QString& id0,
                         SetupFormValues& values);

// Every reason why values cannot be saved, one German message each, in the order of the form. Each
// failing address gets "Das ist keine gültige IP-Adresse=" followed by the text; with DHCP off a fixed
// address that is the network or broadcast address of its own subnet mask is named; of the radio IDs
// only the first bad one is named. Empty when values can be saved.
QStringList setupFormProblems(const SetupFormValues& values);
// The first of setupFormProblems(), or success.
Status validateSetupForm(const SetupFormValues& values);

// Writes values into ini as the dialog saves them: SENDTIME from now, the NETZWERK keys, the sections
// WM-BUS and WM-BUS_IDS erased and rewritten (IDs without leading zeros). Other keys stay. Expects
// values that passed validateSetupForm(). Fails when a text cannot be held in the file's encoding;
// ini may then hold part of the values and must not be saved.
Status writeSetupForm(IniFile& ini, const SetupFormValues& values, const QDateTime& now);
