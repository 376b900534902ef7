// The application object's guard against a second copy and the restricted DLL search, in this
// process with the real kernel objects and loader.
#include "app/application.h"
#include "app/dll_search.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <sddl.h>

namespace {

// The mutex of a copy that runs with other rights (elevated, say): this process may not open
// it.
class foreign_mutex {
public:
    foreign_mutex() {
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        // Everyone is denied every access; the creator's own handle is granted all the same.
        if (!ConvertStringSecurityDescriptorToSecurityDescriptorA("D:(D;;GA;;;WD)", SDDL_REVISION_1,
                                                                  &descriptor, nullptr))
            return;
        SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
        handle_ = CreateMutexA(&attributes, FALSE, c_application::instance_mutex_name);
        LocalFree(descriptor);
    }
    ~foreign_mutex() {
        if (handle_)
            CloseHandle(handle_);
    }
    foreign_mutex(const foreign_mutex&) = delete;
    foreign_mutex& operator=(const foreign_mutex&) = delete;

    explicit operator bool() const { return handle_ != nullptr; }

private:
    HANDLE handle_ = nullptr;
};

TEST(application_test, a_copy_whose_mutex_this_one_may_not_open_counts_as_running) {
    const foreign_mutex running;
    ASSERT_TRUE(running) << "error " << GetLastError();
    const HANDLE opened = CreateMutexA(nullptr, FALSE, c_application::instance_mutex_name);
    ASSERT_EQ(opened, nullptr) << "the system let this process open it";
    ASSERT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));

    try {
        c_application second(GetModuleHandleA(nullptr));
        ADD_FAILURE() << "an application object was built beside the running copy";
    } catch (const c_application::c_exception& e) {
        EXPECT_EQ(e.text(), "Клиент авторизации уже запущен.");
    }
}

TEST(application_test, with_no_other_copy_the_object_is_built) {
    c_application only(GetModuleHandleA(nullptr));
    EXPECT_NE(only.instance_mutex, nullptr);
}

// The planted DLL lies in the test program's folder, which the classic search order tries
// first.
TEST(dll_search_test, a_dll_beside_the_program_is_no_longer_loaded) {
    const HMODULE before = LoadLibraryA("authclient_planted.dll");
    ASSERT_NE(before, nullptr) << "the planted DLL is not where the test expects it";
    FreeLibrary(before);

    ASSERT_TRUE(restrict_dll_search());

    const HMODULE planted = LoadLibraryA("authclient_planted.dll");
    EXPECT_EQ(planted, nullptr);
    if (planted)
        FreeLibrary(planted);
    const HMODULE system = LoadLibraryA("version.dll");
    EXPECT_NE(system, nullptr) << "the system folder is still searched";
    if (system)
        FreeLibrary(system);
}

} // namespace
