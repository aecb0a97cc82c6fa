#pragma once

#include <QAbstractItemView>
#include <QApplication>
#include <cstdlib>
#include <string>
#include <vector>

namespace qv::test {

// The one QApplication of a test program, made on first use and never destroyed; offscreen.
inline QApplication* ensureQtApp() {
    if (auto* app = qobject_cast<QApplication*>(QCoreApplication::instance())) return app;
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    static int argc = 1;
    static char name[] = "quorvel-test";
    static char* argv[] = {name, nullptr};
    return new QApplication(argc, argv);
}

// The texts an item view of `window` shows in its first column, whatever model it has.
inline std::vector<std::string> shownTexts(const QWidget& window, const char* view) {
    auto* v = window.findChild<QAbstractItemView*>(QLatin1String(view));
    std::vector<std::string> out;
    for (int r = 0; v && r < v->model()->rowCount(); ++r)
        out.push_back(v->model()->index(r, 0).data().toString().toStdString());
    return out;
}

// Sets an environment variable for its scope and puts the old value back after.
class ScopedEnv final {
  public:
    ScopedEnv(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old, had_ = true;
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() { had_ ? (void)::setenv(name_, old_.c_str(), 1) : (void)::unsetenv(name_); }

  private:
    const char* name_;
    std::string old_;
    bool had_ = false;
};

}  // namespace qv::test
