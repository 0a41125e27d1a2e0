// Helpers shared by the basic library tests: a scratch directory and message capture.
#pragma once

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "AK_Basic.h"

// A fresh directory below the system's temporary directory, removed with its contents.
class ScratchDir {
public:
  ScratchDir()
  {
    std::random_device rd;
    std::filesystem::path base = std::filesystem::temp_directory_path();
    for (;;) {
      path_ = base / ("torvu_basic_" + std::to_string(rd()));
      if (std::filesystem::create_directory(path_)) break;
    }
  }
  ~ScratchDir()
  {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  std::string operator/(const std::string& name) const { return (path_ / name).string(); }
  std::string str() const { return path_.string(); }

private:
  std::filesystem::path path_;
};

// Collects every message sent through the hook while it lives.
class MessageCapture {
public:
  MessageCapture() : saved_(AK_MessageHook)
  {
    current_ = this;
    AK_MessageHook = [](const char* message, const char* location) {
      current_->messages.emplace_back(message);
      current_->locations.emplace_back(location);
    };
  }
  ~MessageCapture()
  {
    AK_MessageHook = saved_;
    current_ = nullptr;
  }
  std::vector<std::string> messages;
  std::vector<std::string> locations;

private:
  AK_MessageFunction saved_;
  static inline MessageCapture* current_ = nullptr;
};
