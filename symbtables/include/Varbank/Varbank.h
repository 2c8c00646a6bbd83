#pragma once

// Everything a host needs to load, fill and query a Varbank dictionary.

#include "BStr.h"
#include "DictionaryLock.h"
#include "HResult.h"
#include "PlatformApi.h"
#include "TaskMem.h"
#include "TextConversion.h"
#include "TextFile.h"
#include "Variant.h"

#include "CAppParameters.h"
#include "CSymb.h"
#include "CTraceSink.h"
#include "CVarbankApp.h"
#include "GetSymbType.h"
#include "PLCDicoStamping.h"
#include "PLCMemoryArea.h"

#include "COrderedMap.h"
#include "CVarbank.h"

#include "CSymbKorvoAnalysedItem.h"
#include "CSymbKorvoAnalyser.h"
#include "ImplemRecord.h"
#include "NarrowResolution.h"
#include "PropertyEntry.h"
#include "VarbankCodes.h"
#include "tagRATVARPHYSICALIMPLEM.h"

#include "MatchNamePattern.h"
#include "tagBROWSEELEMENT.h"

#include "CSymbXMLDDTArrayDef.h"
#include "CSymbXMLDDTCompositeDef.h"
#include "CSymbXMLDDTDef.h"
#include "CSymbXMLDDTMember.h"
#include "CSymbXMLDDTStructDef.h"
#include "CSymbXMLDFBDef.h"
#include "CSymbXMLItemDef.h"
#include "MAPOFDDTDEF.h"
#include "tagETYPMGRTypeCode.h"
