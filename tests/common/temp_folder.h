// A folder of its own under the temporary folder, removed with the files it holds.
#pragma once

#include <string>

namespace test {

class temp_folder {
public:
    // Named `name` and a suffix no other process uses at the same time; throws when it cannot
    // be made.
    explicit temp_folder(const std::string& name);
    ~temp_folder();
    temp_folder(const temp_folder&) = delete;
    temp_folder& operator=(const temp_folder&) = delete;

    const std::string& path() const { return path_; }

private:
    std::string path_;
};

} // namespace test
