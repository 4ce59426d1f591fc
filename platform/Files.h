#pragma once
// Files opened by bare name in the working directory. Replacing a file is split
// into its steps so that a failure at any one of them can be provoked in tests.

#include <string>

namespace platform {

class Files {
public:
    virtual ~Files() = default;
    // Whole content, or false when the file cannot be opened or read.
    virtual bool readAll(const std::string& name, std::string& content) = 0;
    // A new empty file beside `target`, with the target's permissions; -1 on failure.
    virtual int createTempBeside(const std::string& target, std::string& tempName) = 0;
    virtual bool write(int handle, const std::string& bytes) = 0;
    virtual bool sync(int handle) = 0;
    virtual bool close(int handle) = 0;
    // Atomically puts `from` in the place of `to`.
    virtual bool rename(const std::string& from, const std::string& to) = 0;
    virtual void remove(const std::string& name) = 0;
};

// The real thing, on POSIX calls.
class PosixFiles : public Files {
public:
    bool readAll(const std::string& name, std::string& content) override;
    int createTempBeside(const std::string& target, std::string& tempName) override;
    bool write(int handle, const std::string& bytes) override;
    bool sync(int handle) override;
    bool close(int handle) override;
    bool rename(const std::string& from, const std::string& to) override;
    void remove(const std::string& name) override;
};

}  // namespace platform
