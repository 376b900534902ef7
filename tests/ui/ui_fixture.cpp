#include "tests/ui/ui_fixture.h"

namespace test {

namespace {

// The application object registers a window class and takes the single-instance mutex, both
// once per process.
class application_environment : public ::testing::Environment {
public:
    void SetUp() override {
        try {
            app = std::make_unique<c_application>(GetModuleHandleA(nullptr));
        } catch (const ex::c_exception& e) {
            FAIL() << "the application object cannot be built: " << e.text();
        }
    }
    void TearDown() override { app.reset(); }
};

[[maybe_unused]] ::testing::Environment* const application =
    ::testing::AddGlobalTestEnvironment(new application_environment);

} // namespace

settings_test::settings_test() {
    if (app)
        app->environment = std::make_unique<env::c_env>(nullptr);
}

settings_test::~settings_test() {
    if (app)
        app->environment.reset();
}

void settings_test::store(int key, const char* text) const {
    settings().value(key).set(text);
}

std::optional<std::string> settings_test::stored(const char* name) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Auth Client", 0, KEY_QUERY_VALUE, &key) !=
        ERROR_SUCCESS)
        return std::nullopt;
    char data[4096] = {};
    DWORD size = sizeof data - 1;
    DWORD type = REG_NONE;
    const LONG status =
        RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || type != REG_SZ)
        return std::nullopt;
    return std::string(data);
}

} // namespace test
