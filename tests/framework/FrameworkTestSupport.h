// Helpers shared by the framework tests (beside the scratch directories and files of
// TestSupport.h): a message recorder, and the set-up that points the class-file directories at the shipped class files.
#pragma once

#include <string>
#include <vector>

#include "AK_Framework.h"
#include "TestSupport.h"

// Points the attributes directory at the shipped class files and the user attributes
// directory at a fresh scratch directory (searched first, so tests can add class files).
// Called once, before the first object is constructed.
void TestSetUpClassDirectories();
// The scratch user attributes directory (ends with "/").
const std::string& TestUserAttributesDirectory();

// Records every message that goes through the message hook while it lives.
class MessageRecorder {
public:
  MessageRecorder();
  ~MessageRecorder();
  MessageRecorder(const MessageRecorder&) = delete;
  MessageRecorder& operator=(const MessageRecorder&) = delete;
  const std::vector<std::string>& Messages() const;
  bool Contains(const std::string& text) const;
  void Clear();

private:
  AK_MessageFunction _previous;
};

void WriteTextFile(const std::string& path, const std::string& text);
std::string ReadTextFile(const std::string& path);
bool PathExists(const std::string& path);
void MakeDirectories(const std::string& path);
