#include "ui/qt_notifier.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QMetaObject>
#include <QThread>
#include <QWidget>

#include "ui/qt_text.h"

namespace delvora {
namespace {

QMessageBox::Icon BoxIcon(MessageIcon icon) {
    switch (icon) {
        case MessageIcon::Error: return QMessageBox::Critical;
        case MessageIcon::Information: return QMessageBox::Information;
        case MessageIcon::Warning: return QMessageBox::Warning;
        case MessageIcon::Question: return QMessageBox::Question;
    }
    return QMessageBox::Critical;
}

}  // namespace

QtNotifier::QtNotifier(QObject* parent) : QObject(parent) {}

void QtNotifier::SetParentWidget(QWidget* widget) { m_pParent = widget; }

template <typename Fn>
bool QtNotifier::RunOnUiThread(Fn&& fn) {
    if (QThread::currentThread() == thread()) {
        fn();
        return true;
    }
    // A worker must not wait for a UI thread that waits for it, nor for an
    // application that no longer runs its loop.
    if (m_nUiWaits.load() > 0 || QCoreApplication::instance() == nullptr || QCoreApplication::closingDown())
        return false;
    QMetaObject::invokeMethod(this, std::forward<Fn>(fn), Qt::BlockingQueuedConnection);
    return true;
}

void QtNotifier::Message(std::string_view text, std::string_view caption, MessageIcon icon) {
    const QString strText = FromUtf8(text), strCaption = FromUtf8(ShownCaption(caption));
    if (!RunOnUiThread([&] { ShowOnUiThread(strText, strCaption, icon); }) && m_pFallback)
        m_pFallback->AppendLog(std::string(caption) + ": " + std::string(text));
}

bool QtNotifier::Confirm(std::string_view text, std::string_view caption) {
    const QString strText = FromUtf8(text), strCaption = FromUtf8(ShownCaption(caption));
    bool bAnswer = false;
    if (!RunOnUiThread([&] { bAnswer = AskOnUiThread(strText, strCaption); }) && m_pFallback)
        m_pFallback->AppendLog(std::string(caption) + ": " + std::string(text));
    return bAnswer;
}

void QtNotifier::ShowOnUiThread(const QString& text, const QString& caption, MessageIcon icon) {
    QMessageBox box(BoxIcon(icon), caption, text, QMessageBox::Ok, m_pParent.data());
    box.exec();
}

bool QtNotifier::AskOnUiThread(const QString& text, const QString& caption) {
    QMessageBox box(QMessageBox::Question, caption, text, QMessageBox::Ok | QMessageBox::Cancel, m_pParent.data());
    return box.exec() == QMessageBox::Ok;
}

}  // namespace delvora
