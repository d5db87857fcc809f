// Answers the program's modal message boxes and file dialogs as a user would,
// and records what each one showed.
#ifndef MODALANSWERER_H
#define MODALANSWERER_H

#include <QtCore/QObject>
#include <QtCore/QQueue>
#include <QtCore/QTimer>
#include <QtCore/QVector>
#include <QtWidgets/QMessageBox>

#include <functional>

class QStatusBar;

struct ShownBox
{
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QString text;
    Qt::TextFormat textFormat = Qt::AutoText;
    QString title;
    bool hasParent = false;
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    QString statusWhileShown; // the status bar's text while the box was open
};

class ModalAnswerer : public QObject
{
    Q_OBJECT

public:
    // statusBar, if given, is read while each box is open.
    explicit ModalAnswerer(QStatusBar *statusBar = nullptr);

    // How to answer the next message boxes, in order. A box with no queued
    // answer is closed with its default button (OK when it has only that).
    // QMessageBox::Escape stands for the Escape key.
    void queueBoxAnswer(QMessageBox::StandardButton answer) { m_boxAnswers.enqueue(answer); }
    // The next file dialog picks this path; an empty path cancels it.
    void queueFileAnswer(const QString &path) { m_fileAnswers.enqueue(path); }
    // Runs inside the next message box, before it is answered (news that
    // arrives while the user reads it).
    void setBeforeBoxAnswer(std::function<void()> action) { m_beforeBoxAnswer = std::move(action); }
    // Runs inside the next file dialog, before it is answered (to change the
    // world between the user's pick and the program's next step).
    void setBeforeFileAnswer(std::function<void()> action) { m_beforeFileAnswer = std::move(action); }
    // Runs once the next file dialog has accepted its answer, before the
    // program sees the path.
    void setAfterFileAnswer(std::function<void()> action) { m_afterFileAnswer = std::move(action); }

    QVector<ShownBox> boxes;
    int fileDialogsShown = 0;

    void clear() { boxes.clear(); fileDialogsShown = 0; }

private:
    void answerActiveModal();

    QStatusBar *m_statusBar;
    bool m_answering = false;
    QTimer m_poll;
    QQueue<QMessageBox::StandardButton> m_boxAnswers;
    QQueue<QString> m_fileAnswers;
    std::function<void()> m_beforeBoxAnswer;
    std::function<void()> m_beforeFileAnswer;
    std::function<void()> m_afterFileAnswer;
};

#endif // MODALANSWERER_H
