#pragma once

// The main window with its message boxes and file dialog played by stand-ins, and what the window
// tests ask of it.

#include "files/AsvFormat.h"
#include "link/SequencerMessages.h"
#include "params/ParameterTable.h"
#include "platform/core/FileDialog.h"
#include "platform/core/MessageBox.h"
#include "platform/widgets/RichTextBox.h"
#include "support/BuildPaths.h"
#include "support/Recorders.h"
#include "ui/Layout.h"
#include "ui/StatusLogBox.h"
#include "ui/frmMain.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QStringList>
#include <QTest>

#include <memory>
#include <optional>

namespace qt2xx::test {

// Answers every show with the path set beforehand, or with a cancel.
class ScriptedFileDialog : public FileDialog {
public:
    std::optional<QString> answer;
    int shows = 0;

protected:
    std::optional<QString> run(Mode) override {
        ++shows;
        return answer;
    }
};

struct WindowHarness {
    RecordingMessageBox* messages = new RecordingMessageBox;
    ScriptedFileDialog* dialog = new ScriptedFileDialog;
    std::unique_ptr<frmMain> window =
        std::make_unique<frmMain>(std::unique_ptr<MessageBox>(messages), std::unique_ptr<FileDialog>(dialog));

    template <class T = QWidget> T* get(const QString& name) const { return window->findChild<T*>(name); }
    QComboBox* list(int parameter) const { return get<QComboBox>(ParameterListName(parameter)); }
    RichTextBox* log() const { return get<RichTextBox>(QStringLiteral("rtfReceive")); }

    bool showActive() {
        window->show();
        QApplication::setActiveWindow(window.get());
        return QTest::qWaitForWindowActive(window.get());
    }

    // Selects the set stored in the worked example, a complete and valid one.
    bool pickWorkedExample() {
        QFile file(TestDataPath(u"frame/worked-example.asv"));
        if (!file.open(QIODevice::ReadOnly))
            return false;
        const AsvReadResult read = ReadAsvParameterSet(file.readAll());
        if (!read.set)
            return false;
        for (int i = 0; i < kParameterCount; ++i)
            list(i)->setCurrentIndex(read.set->choice[i]);
        return true;
    }

    // The window's outer size in twips, frame, title bar and menu bar included.
    QSize outerTwips() const { return window->frameGeometry().size() * kTwipsPerPixel; }
};

// The bounding box, in the image's pixels, of every pixel that differs from the top-left one.
inline QRect inkOf(const QImage& image) {
    const QRgb background = image.pixel(0, 0);
    QRect ink;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) != background)
                ink |= QRect(x, y, 1, 1);
    return ink;
}

// Twips compare within one pixel.
inline bool withinOnePixel(int actualTwips, int expectedTwips) {
    return qAbs(actualTwips - expectedTwips) <= kTwipsPerPixel;
}

} // namespace qt2xx::test
