#pragma once
// Turns SIGTERM and SIGINT into a Qt signal on the UI thread (self-pipe + QSocketNotifier),
// so the program closes as "Exit" does and writes its settings.

#include <QObject>

class QSocketNotifier;

namespace tl {

class UnixSignalWatcher : public QObject {
    Q_OBJECT
public:
    explicit UnixSignalWatcher(QObject* parent = nullptr);
    ~UnixSignalWatcher() override;

Q_SIGNALS:
    void terminationRequested();

private:
    QSocketNotifier* notifier_ = nullptr;
};

} // namespace tl
