// Turns any text into a class table and writes its section of the HTML reference and the
// index lists; the documentation markup (references, bold, paragraphs, formulas) meets
// whatever the text holds.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "AK_ClassTable.h"
#include "FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  FuzzSetUpOnce();
  std::string text(reinterpret_cast<const char*>(data), size);
  if (text.find('\0') != std::string::npos) return 0;

  AK_String doc(text.c_str());
  while (AK_HtmlEntities(doc)) {
  }
  AK_HtmlLink(doc, "");

  AK_AttributeNode* table = AK_ParseClassTable(("obj.Fuzz\n" + text).c_str(), nullptr);
  std::FILE* sink = std::fopen("/dev/null", "w");
  if (sink) {
    AK_Array<AK_String> written, links;
    AK_WriteHtmlClassPage(table, written, links, sink, 0);
    AK_WriteHtmlIndexLists(sink, links);
    // The writer leaves the file to its opener: without this every input keeps a descriptor.
    std::fclose(sink);
  }
  delete table;
  return 0;
}
