#pragma once
// Acts on the next modal dialog of type T once it shows.

#include <QApplication>
#include <QTimer>

#include <functional>
#include <memory>

namespace sga::ui::testing {

// The result turns true once the dialog was acted on.
template <typename T>
std::shared_ptr<bool> whenModal(std::function<void(T*)> act) {
    auto acted = std::make_shared<bool>(false);
    auto* timer = new QTimer(qApp);
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, act, acted] {
        if (auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            *acted = true;
            act(dialog);
        }
    });
    timer->start();
    return acted;
}

} // namespace sga::ui::testing
