#include "Varbank/CSymbXMLItemDef.h"
#include "Varbank/CVarbank.h"
#include "Varbank/TextFile.h"
#include "platform/TextUtil.h"
#include "platform/TickCount.h"

#include <cstdio>

namespace {

std::string DumpFilePath(const std::string& directory, const std::string& dicoName) {
    std::string path = directory;
    if (path.empty() || path.back() != '/') {
        path += '/';
    }
    return path + dicoName + ".kvxav";
}

// Rows 1 to 7: names, texts, stamp words and the host's values.
void WriteHeader(CTextFile& file, const CVarbank& dico) {
    file.WriteString("QUICK SAVE DICO V1.0 " + dico.m_DicoName +
                     StrFormat(" %x\n", GetTickCount()));
    file.WriteString(dico.m_DicoName + " \n");
    file.WriteString(dico.m_StampText + " \n");
    file.WriteString(dico.m_Description + " \n");
    file.WriteString(StrFormat("%X  %X  %X  %X  %X ", dico.m_Stamp[0].load(),
                               dico.m_Stamp[1].load(), dico.m_Stamp[2].load(),
                               dico.m_Stamp[3].load(), dico.m_Stamp[4].load()));
    file.WriteString("\n");
    file.WriteString(dico.m_HostText + " \n");
    file.WriteString(StrFormat("%X \n", dico.m_HostValue));
}

// Row 11: every variable block, stopping at the first that reports failure.
bool WriteItems(CTextFile& file, const CVarbank& dico) {
    for (const auto& entry : dico.m_Items) {
        if (entry.second != nullptr && !entry.second->SaveBinary(file)) {
            return false;
        }
    }
    return true;
}

} // namespace

bool CVarbank::SaveBinaryForm() {
    // Held to the end, so the dump is one consistent picture. On a write error the file is
    // closed (its destructor) before the lock is released, and the exception goes on.
    CScopedLock guard(m_Lock);
    const std::string path = DumpFilePath(m_DumpDirectory, m_DicoName);
    CTextFile file;
    if (!file.Open(path)) {
        return false;
    }
    WriteHeader(file, *this);
    bool ok = m_Types.SaveBinary(file);
    file.WriteString(StrFormat("NbItem %X \n", static_cast<unsigned>(m_Items.size())));
    if (ok) {
        ok = WriteItems(file, *this);
    }
    file.WriteString(StrFormat("QUICK SAVE DICO V1.0 END OF FILE %X \n", GetTickCount()));
    file.Close();
    if (!ok) {
        std::remove(path.c_str());
    }
    return ok;
}
