// The basic library: strings, arrays, small records, messages, random numbers, the binary
// record stream, attribute-tree text, files, directories, processes and small numerics.
#pragma once

#include "AK_Message.h"
#include "AK_Array.h"
#include "AK_String.h"
#include "AK_Vec.h"
#include "AK_Random.h"
#include "AK_Files.h"
#include "AK_Process.h"
#include "AK_Stream.h"
#include "AK_AttributeNode.h"
#include "AK_BitArray.h"
#include "AK_HashMap.h"
#include "AK_Numerics.h"
#include "AK_NumberText.h"
