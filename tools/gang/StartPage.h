#pragma once

#include <QStringList>
#include <QWidget>

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace qt2xx::gang {

// Where a run begins when the window is started without a file and ports: the set file, the
// operator and the fixture's slots, chosen from the serial adapters present. The file and the slots
// are remembered for the user and offered again next time.
class StartPage : public QWidget {
    Q_OBJECT
public:
    // The serial devices are listed from these folders.
    explicit StartPage(QString serialDirectory = QStringLiteral("/dev/serial"),
                       QString deviceDirectory = QStringLiteral("/dev"), QWidget* parent = nullptr);

    // Lists the adapters present again, ticking those chosen last time.
    void refresh();
    void setOperator(const QString& id);
    // A refusal of the last start, in red; empty hides it.
    void setProblem(const QString& text);

    QString setFile() const;
    QString operatorId() const;
    QStringList chosenPorts() const; // the ticked slots, in the list's order

    QLineEdit* fileField() const { return m_file; }
    QLineEdit* operatorField() const { return m_operator; }
    QListWidget* slotList() const { return m_slots; }
    QPushButton* startButton() const { return m_start; }

Q_SIGNALS:
    void startRequested();

private:
    void browse();
    void remember() const;
    void check();

    QString m_serialDirectory;
    QString m_deviceDirectory;
    QLineEdit* m_file;
    QPushButton* m_browse;
    QLineEdit* m_operator;
    QListWidget* m_slots;
    QPushButton* m_rescan;
    QPushButton* m_start;
    QLabel* m_problem;
};

} // namespace qt2xx::gang
