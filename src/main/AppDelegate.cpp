#include "main/AppDelegate.h"

#include "main/Constants.h"

AppDelegate::Environment AppDelegate::systemEnvironment() {
    return {configPath(), std::make_unique<platform::SystemClock>(), platform::makeSpotifyBridge()};
}

AppDelegate::AppDelegate(Environment environment, QObject* parent)
    : QObject(parent),
      config_(environment.configPath),
      clock_(std::move(environment.clock)),
      spotify_(std::move(environment.spotify)),
      syncContext_(new QObject) {
    syncContext_->moveToThread(&syncThread_);
    connect(&syncThread_, &QThread::finished, syncContext_, &QObject::deleteLater);
    syncThread_.start(QThread::LowPriority);
    emojiChecks_.setThreadPriority(QThread::LowPriority);
}

AppDelegate::~AppDelegate() {
    stopSync();
    emojiChecks_.waitForDone();
}

QString AppDelegate::lastSetText() const {
    QMutexLocker lock(&stateMutex_);
    return lastSetText_;
}

QString AppDelegate::nowPlayingLabel() const {
    QMutexLocker lock(&stateMutex_);
    return nowPlayingLabel_;
}

std::optional<QString> AppDelegate::lastError() const {
    QMutexLocker lock(&stateMutex_);
    return lastError_;
}

std::optional<bool> AppDelegate::spotifyEmojiAvailable() const {
    QMutexLocker lock(&stateMutex_);
    return spotifyEmojiAvailable_;
}

void AppDelegate::setNowPlayingLabel(const QString& label) {
    QMutexLocker lock(&stateMutex_);
    nowPlayingLabel_ = label;
}

void AppDelegate::setLastError(const std::optional<QString>& error) {
    QMutexLocker lock(&stateMutex_);
    lastError_ = error;
}

void AppDelegate::setSpotifyEmojiAvailable(std::optional<bool> available) {
    QMutexLocker lock(&stateMutex_);
    spotifyEmojiAvailable_ = available;
}
