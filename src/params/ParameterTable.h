#pragma once

#include <QString>
#include <QStringList>

#include <array>

namespace qt2xx {

inline constexpr int kParameterCount = 26;

// One parameter of the controller: what the operator sees and what it feeds.
struct ParameterDef {
    int index;       // slot in ParameterValues, list Combo1(index), line index in an asv file
    QString group;   // caption of the group box that shows the list; empty when none
    QString caption; // label text with its access-key ampersands; Board Type has none
    QStringList choices;
    int frameByte; // the DownloadFrame byte this parameter feeds

    // The caption as the operator reads it: "&&" shows as "&", a single "&" is not shown, the
    // full-width colon is dropped. Board Type is named by its group.
    QString displayName() const;
};

const std::array<ParameterDef, kParameterCount>& ParameterTable();

} // namespace qt2xx
