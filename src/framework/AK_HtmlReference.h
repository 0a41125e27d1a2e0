// The HTML reference: every class table turned into an HTML 4.01 document, either of one
// object's class and the classes of its subtree ("WriteHtmlReferenceRecursive") or of every
// class of the attributes directory ("WriteEntireHtmlReference"), each ending in two
// alphabetical index lists (object types, attributes).
//
// Documentation texts carry a small markup:
//   ->Class.Attribute   a cross reference, written as a link (->Class. alone names the class)
//   'Word'              bold (a quote after a blank opens, a quote before a blank or
//                       punctuation closes)
//   an empty line       a new paragraph
//   @@ ... /@           a formula: Greek letter names become their letters, "_x" a subscript,
//                       "^x" a superscript, sqrt, !=, * and - their signs
//
// Every anchor of a document is written once, and every link of a document leads to an
// anchor of the same document: a reference to an attribute that has no anchor of its own
// leads to its class, and a reference to a class that the document does not describe is
// written as text without a link.
#pragma once

#include <cstdio>

#include "AK_Basic.h"

class AK_AttributeNode;

// The class table of every ".atr" file of the attributes directory, read without base
// tables, at the first need; the list is kept for the rest of the run.
AK_Array<AK_AttributeNode*>& AK_ReferenceClassTables();
void AK_FillReferenceClassTables();
// Forgets the list (freeing its tables), so that the next need reads the directory again.
// Only for tests, which point the attributes directory elsewhere.
void AK_ResetReferenceClassTables();

// The labels from the class to the attribute joined by ":" (the class label alone when the
// identifier is the class's own name); "class:identifier" when no table knows the class.
AK_String AK_GetReferenceText(const char* className, const char* identifier);

// Expands every "->Class.identifier" of the text into a link to the anchor
// Class_identifier; an identifier "png" (an image file name) stays as it is.
void AK_HtmlLink(AK_String& text, const char* filePrefix);

// Converts the first formula span "@@ ... /@" of the text into italics with letters,
// sub- and superscripts; 1 when there was one, 0 otherwise.
int AK_HtmlEntities(AK_String& text);
// Removes every "@@" and every "/@".
void AK_StripFormulaMarkers(AK_String& text);

// "<", ">" and "&" as character references, for text taken from class tables.
AK_String AK_HtmlEscape(const char* text);

// Creates the file (a replacing one: it takes the place of an older document only once it
// is closed whole) and writes the head of the document; none (and an error text) when the
// file cannot be created.
AK_File AK_OpenHtmlReference(const char* fileName, const char* title);
// Closes the document; an error text when it did not reach the disk whole.
void AK_CloseHtmlReference(AK_File& file, const char* fileName);
// Writes the section of a class-table node (a class, a group label or an attribute) and of
// its entries; `written` lists the classes already in the document, its last entry is the
// class being written; `links` collects one index link per section.
void AK_WriteHtmlClassPage(AK_AttributeNode* node, AK_Array<AK_String>& written,
                           AK_Array<AK_String>& links, std::FILE* file, int level);
// Writes the two index lists and the end of the document.
void AK_WriteHtmlIndexLists(std::FILE* file, AK_Array<AK_String>& links);

// Sort orders: link texts without regard to case; class tables by label.
int AK_CompareLinkTexts(const AK_String& a, const AK_String& b);
int AK_CompareClassTables(AK_AttributeNode* a, AK_AttributeNode* b);
