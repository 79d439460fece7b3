// Helpers for the file-layer and archive tests under Windows: a private folder tree in the temporary folder that is
// removed afterwards, files written into it, and the current directory moved there for the test's duration.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace file_test {

class TempTree {
public:
    TempTree() {
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        static int counter = 0;
        root_ = std::string(temp) + "kvfile_" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(++counter);
        CreateDirectoryA(root_.c_str(), nullptr);
    }
    ~TempTree() { RemoveTree(root_); }
    TempTree(const TempTree&) = delete;
    TempTree& operator=(const TempTree&) = delete;

    const std::string& Root() const { return root_; }
    std::string Path(const std::string& relative) const { return root_ + "\\" + relative; }

    // Writes a file (making its folders); relative uses "\\".
    bool Write(const std::string& relative, const void* data, size_t size) const {
        std::string full = Path(relative);
        for (size_t i = root_.size() + 1; i < full.size(); ++i)
            if (full[i] == '\\') CreateDirectoryA(full.substr(0, i).c_str(), nullptr);
        HANDLE file = CreateFileA(full.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) return false;
        DWORD written = 0;
        bool ok = size == 0 || (WriteFile(file, data, (DWORD)size, &written, nullptr) && written == size);
        CloseHandle(file);
        return ok;
    }
    bool Write(const std::string& relative, const std::vector<unsigned char>& data) const {
        return Write(relative, data.data(), data.size());
    }
    bool Write(const std::string& relative, const std::string& text) const {
        return Write(relative, text.data(), text.size());
    }
    void MakeDir(const std::string& relative) const { CreateDirectoryA(Path(relative).c_str(), nullptr); }

    static void RemoveTree(const std::string& folder) {
        WIN32_FIND_DATAA data;
        HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &data);
        if (find != INVALID_HANDLE_VALUE) {
            do {
                std::string name = data.cFileName;
                if (name == "." || name == "..") continue;
                std::string full = folder + "\\" + name;
                if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                    RemoveTree(full);
                else
                    DeleteFileA(full.c_str());
            } while (FindNextFileA(find, &data));
            FindClose(find);
        }
        RemoveDirectoryA(folder.c_str());
    }

private:
    std::string root_;
};

// Makes a folder the current directory until the guard ends.
class CurrentDirectory {
public:
    explicit CurrentDirectory(const std::string& folder) {
        GetCurrentDirectoryA(MAX_PATH, saved_);
        EXPECT_TRUE(SetCurrentDirectoryA(folder.c_str()));
    }
    ~CurrentDirectory() { SetCurrentDirectoryA(saved_); }

private:
    char saved_[MAX_PATH];
};

}  // namespace file_test
