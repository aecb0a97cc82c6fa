#pragma once

#include <QApplication>
#include <cstdlib>
#include <string>

namespace qv::test {

// The one QApplication a widget test program needs, created on first use. Tests run
// offscreen unless the caller chose a platform.
inline QApplication* ensureQtApp() {
    if (auto* app = qobject_cast<QApplication*>(QCoreApplication::instance())) return app;
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    static int argc = 1;
    static char name[] = "quorvel-test";
    static char* argv[] = {name, nullptr};
    // Never destroyed: windows kept by tests may outlive main().
    return new QApplication(argc, argv);
}

// Sets (or, given null, removes) an environment variable for its scope and puts it back after.
class ScopedEnv final {
  public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old, had_ = true;
        set(value);
    }
    ScopedEnv(const char* name, const std::string& value) : ScopedEnv(name, value.c_str()) {}
    ~ScopedEnv() { set(had_ ? old_.c_str() : nullptr); }
    void set(const char* value) const {
        value ? (void)::setenv(name_, value, 1) : (void)::unsetenv(name_);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    const char* name_;
    std::string old_;
    bool had_ = false;
};

}  // namespace qv::test
