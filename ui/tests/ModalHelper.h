#pragma once
// Acts on the next modal dialog of type T once it shows.

#include <QApplication>
#include <QTimer>

#include <functional>

namespace sga::ui::testing {

template <typename T>
void whenModal(std::function<void(T*)> act) {
    auto* timer = new QTimer(qApp);
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, act] {
        if (auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            act(dialog);
        }
    });
    timer->start();
}

} // namespace sga::ui::testing
