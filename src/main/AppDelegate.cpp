#include "main/AppDelegate.h"

#include <QCoreApplication>

#include "main/Constants.h"

AppDelegate::Environment AppDelegate::systemEnvironment() {
    Environment environment;
    environment.configPath = configPath();
    environment.clock = std::make_unique<platform::SystemClock>();
    environment.spotify = platform::makeSpotifyBridge();
    environment.desktop = std::make_unique<platform::QtDesktop>();
    environment.loginItem =
        std::make_unique<platform::XdgAutostart>(QCoreApplication::applicationFilePath());
    environment.random = std::make_unique<platform::SystemRandom>();
    return environment;
}

AppDelegate::AppDelegate(Environment environment, QObject* parent)
    : QObject(parent),
      config_(environment.configPath),
      clock_(std::move(environment.clock)),
      spotify_(std::move(environment.spotify)),
      desktop_(std::move(environment.desktop)),
      loginItem_(std::move(environment.loginItem)),
      random_(std::move(environment.random)),
      syncContext_(new QObject),
      oauthPort_(environment.oauthPort),
      oauth_(oauthPort_) {
    syncContext_->moveToThread(&syncThread_);
    connect(&syncThread_, &QThread::finished, syncContext_, &QObject::deleteLater);
    syncThread_.start(QThread::LowPriority);
    signInDeadline_.setSingleShot(true);
    connect(&signInDeadline_, &QTimer::timeout, this, &AppDelegate::signInDeadlinePassed);
}

AppDelegate::~AppDelegate() {
    stopSync();
    background_.waitForDone();
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

void AppDelegate::setLastSetText(const QString& text) {
    QMutexLocker lock(&stateMutex_);
    lastSetText_ = text;
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
