#pragma once

#include <QString>
#include <QStringList>

#include <array>

namespace qt2xx {

inline constexpr int kParameterCount = 26;

// The captions of the group boxes that show the lists, with their access-key ampersands.
inline const QString kBoardTypeGroup = QStringLiteral("Board Type");
inline const QString kCurrentVoltageGroup = QStringLiteral("Current\u3001Voltage Design");
inline const QString kSpeedModeGroup = QStringLiteral("Speed Mode Design");
inline const QString kTimerOthersGroup = QStringLiteral("Timer && Others");

// One parameter of the controller: what the operator sees and what it feeds.
struct ParameterDef {
    int index;       // slot in ParameterValues, list Combo1(index), line index in an asv file
    QString group;   // caption of the group box that shows the list; empty when none
    QString caption; // label text with its access-key ampersands; Board Type has none
    QStringList choices;
    int frameByte; // the DownloadFrame byte this parameter feeds

    // The parameter's name in messages: the caption without its colon, each ampersand shown as one
    // ("Limit&Cruise", "Phase Current(A)"). Board Type is named by its group.
    QString displayName() const;
    // The name a screen reader gives the list: the caption as the label shows it, where a single
    // ampersand only marks the access key ("LimitCruise"), without its colon.
    QString accessibleName() const;
};

const std::array<ParameterDef, kParameterCount>& ParameterTable();

} // namespace qt2xx
