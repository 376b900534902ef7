#include "tests/ui/ui_fixture.h"

#include "tests/common/settings_registry.h"

#include "auth/client.h"
#include "ui/tray_icon.h"

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

std::vector<unsigned char> pixels(HBITMAP bitmap) {
    BITMAP shape{};
    if (!bitmap || !GetObjectA(bitmap, sizeof shape, &shape))
        return {};
    BITMAPINFO format{};
    format.bmiHeader.biSize = sizeof format.bmiHeader;
    format.bmiHeader.biWidth = shape.bmWidth;
    format.bmiHeader.biHeight = shape.bmHeight;
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 32;
    format.bmiHeader.biCompression = BI_RGB;
    std::vector<unsigned char> bits(static_cast<std::size_t>(shape.bmWidth) * shape.bmHeight * 4);
    const HDC dc = GetDC(nullptr);
    GetDIBits(dc, bitmap, 0, static_cast<UINT>(shape.bmHeight), bits.data(), &format,
              DIB_RGB_COLORS);
    ReleaseDC(nullptr, dc);
    return bits;
}

void destroy_main_window(HWND window) {
    if (app->environment) {
        app->environment->main_window = nullptr;
        DestroyMenu(app->environment->tray_menu);
        app->environment->tray_menu = nullptr;
    }
    app->client.reset();
    DestroyWindow(window);
    app->tray_icon.reset();
}

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
    return settings::get(name);
}

} // namespace test
