// Class scripts and the script host functions.
//
// A class script is a script of the interpreter that extends a class: a script function
// named like an attribute takes the attribute over (the Get and Set hooks of
// AK_ScriptHooks.h), "Init" runs once when the script is loaded and "Update" in every update
// pass. Scripts reach back into the object tree through 18 host functions, declared for every
// script by AK_HostScriptPrelude: "set" and "get" address objects by paths relative to the
// object on whose behalf the script runs (the top of the current-object stack,
// AK_CurrentObject.h).
//
// Script arrays know their size: a host function never writes past the end of the array a
// script hands it, it truncates, and it reads a script's text no further than its array.
#pragma once

#include "AK_Basic.h"

class AK_Object;

// The declarations of the host functions with AK_SEP and DIR_SEP, exactly as
// "List_AST_SCI_predefined" prints them.
extern const char* const AK_HostScriptPrelude;

// Sends "INFO:AST_SCI-Interpreter predefined variables and functions\n" and the prelude as one
// message; the value is not used.
void AK_ListScriptPredefined(const char* value);

// The object the path names relative to the top of the current-object stack; none when the
// stack is empty, its top object is gone, or the path names nothing.
AK_Object* AK_GetCurrentObject(const char* path);

// Compiles the prelude into the global namespace and binds the host functions, once per
// process; later calls do nothing. Loading the first class script does it.
void AK_BindHostFunctions();

// The host functions, bound under the names in their comments. Each takes one pointer per
// argument: character arrays as character pointers, the integer as a pointer to it.
int AK_sci_set(char* objId, char* attr, char* value);                 // set
void AK_sci_get(char* objId, char* attr, char* value);                // get
void AK_sci_set_error(char* msg);                                     // set_error
int AK_sci_error(char* msg);                                          // error
void AK_sci_message(char* msg, char* id);                             // message
int AK_sci_list_size(char* list);                                     // list_size
int AK_sci_get_list_element(char* list, int* i, char* s);             // get_list_element
void AK_sci_add_id(char* path, char* id);                             // add_id
int AK_sci_cut_id(char* path, char* id);                              // cut_id
void AK_sci_add_name(char* path, char* name);                         // add_name
int AK_sci_cut_name(char* path, char* name);                          // cut_name
void AK_sci_add_extension(char* name, char* ext);                     // add_extension
void AK_sci_cut_extension(char* name, char* ext);                     // cut_extension
int AK_sci_make_directory(char* name);                                // make_directory
void AK_sci_get_attribute_file(char* name, char* extension, char* filename);  // get_attribute_file
double AK_sci_exec_time(char* objId, char* cmd);                      // exec_time
double AK_sci_modification_time(char* objId);                         // modification_time
double AK_sci_modification_time_recursive(char* objId);               // modification_time_recursive
