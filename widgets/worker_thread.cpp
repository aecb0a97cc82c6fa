#include "widgets/worker_thread.h"

#include <QEventLoop>
#include <QThread>
#include <memory>

namespace qv {

void runOffGuiThread(const std::function<void()>& job) {
    std::unique_ptr<QThread> thread(QThread::create(job));
    QEventLoop loop;
    // Queued from the worker, so it arrives inside exec() even when the job is quick.
    QObject::connect(thread.get(), &QThread::finished, &loop, &QEventLoop::quit);
    thread->start();
    loop.exec();
    thread->wait();
}

void GuiThreadDialogs::onGuiThread(const std::function<void()>& call) {
    if (QThread::currentThread() == context_->thread())
        call();
    else
        QMetaObject::invokeMethod(context_, call, Qt::BlockingQueuedConnection);
}

}  // namespace qv
