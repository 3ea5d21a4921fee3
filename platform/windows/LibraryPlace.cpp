#include "LibraryPlace.h"

#include <QDir>
#include <QStringList>

#include <windows.h>

#include <aclapi.h>
#include <sddl.h>
#include <shlobj.h>
#include <vector>

namespace {

// The well-known accounts that may own or write the way to the library, besides the user running the program.
bool isTrusted(PSID sid, PSID user)
{
    static const char* const TrustedInstaller = "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";
    if (IsWellKnownSid(sid, WinLocalSystemSid) || IsWellKnownSid(sid, WinBuiltinAdministratorsSid) ||
        (user && EqualSid(sid, user)))
        return true;
    LPSTR text = nullptr;
    const bool installer = ConvertSidToStringSidA(sid, &text) && strcmp(text, TrustedInstaller) == 0;
    LocalFree(text);
    return installer;
}

QString accountName(PSID sid)
{
    wchar_t name[256], domain[256];
    DWORD nameSize = 256, domainSize = 256;
    SID_NAME_USE use;
    if (LookupAccountSidW(nullptr, sid, name, &nameSize, domain, &domainSize, &use))
        return (domainSize > 0 ? QString::fromWCharArray(domain) + QLatin1Char('\\') : QString()) +
               QString::fromWCharArray(name);
    LPSTR text = nullptr;
    const QString shown = ConvertSidToStringSidA(sid, &text) ? QString::fromLatin1(text) : QStringLiteral("?");
    LocalFree(text);
    return shown;
}

std::vector<BYTE> currentUser()
{
    HANDLE token = nullptr;
    std::vector<BYTE> info(256);
    DWORD size = 0;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return {};
    if (!GetTokenInformation(token, TokenUser, info.data(), static_cast<DWORD>(info.size()), &size))
        info.clear();
    CloseHandle(token);
    return info;
}

// Who other than the trusted may change this step: replace the file, or
// rename, remove or re-permit the folder or what it holds. Empty when none.
QString untrustedWriter(const QString& step, bool isFile, bool holdsFile, PSID user, bool& examined)
{
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    examined = GetNamedSecurityInfoW(reinterpret_cast<LPCWSTR>(QDir::toNativeSeparators(step).utf16()), SE_FILE_OBJECT,
                                     OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner, nullptr, &dacl,
                                     nullptr, &descriptor) == ERROR_SUCCESS;
    QString writer;
    if (!examined)
        return writer;
    DWORD changing = DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_ALL | GENERIC_WRITE;
    changing |= isFile ? FILE_WRITE_DATA | FILE_APPEND_DATA : FILE_DELETE_CHILD;
    if (holdsFile)
        changing |= FILE_ADD_FILE; // a library beside it could be loaded in its stead
    if (owner && !isTrusted(owner, user))
        writer = accountName(owner) + QStringLiteral(" (its owner)");
    else if (!dacl)
        writer = QStringLiteral("everyone (it has no access list)");
    for (DWORD i = 0; writer.isEmpty() && dacl && i < dacl->AceCount; ++i) {
        ACE_HEADER* header = nullptr;
        if (!GetAce(dacl, i, reinterpret_cast<void**>(&header)) || header->AceType != ACCESS_ALLOWED_ACE_TYPE ||
            (header->AceFlags & INHERIT_ONLY_ACE))
            continue;
        auto* ace = reinterpret_cast<ACCESS_ALLOWED_ACE*>(header);
        const PSID sid = &ace->SidStart;
        if ((ace->Mask & changing) && !isTrusted(sid, user))
            writer = accountName(sid);
    }
    LocalFree(descriptor);
    return writer;
}

} // namespace

QString siteLibraryFolder()
{
    PWSTR programData = nullptr;
    QString folder = QStringLiteral("C:/ProgramData");
    if (SHGetKnownFolderPath(FOLDERID_ProgramData, 0, nullptr, &programData) == S_OK)
        folder = QDir::fromNativeSeparators(QString::fromWCharArray(programData));
    CoTaskMemFree(programData);
    return folder + QStringLiteral("/cvd-operator");
}

// Every step from the drive's root down to the file: each belongs to the
// administrators, the system or the user running the program, and no one
// else may change it.
QString unsafeLibraryReason(const QString& path)
{
    const std::vector<BYTE> user = currentUser();
    const PSID userSid =
        user.empty() ? nullptr : reinterpret_cast<TOKEN_USER*>(const_cast<BYTE*>(user.data()))->User.Sid;
    const QStringList steps = QDir::fromNativeSeparators(path).split(QLatin1Char('/'), Qt::SkipEmptyParts);
    QString step;
    for (int i = 0; i < steps.size(); ++i) {
        step += steps[i] + QLatin1Char('/');
        const bool isFile = i == steps.size() - 1;
        const QString shown = QDir::toNativeSeparators(isFile ? step.chopped(1) : step);
        bool examined = false;
        const QString writer = untrustedWriter(shown, isFile, i == steps.size() - 2, userSid, examined);
        if (!examined)
            return QStringLiteral("%1 cannot be examined.").arg(shown);
        if (writer.isEmpty())
            continue;
        if (isFile)
            return QStringLiteral(
                       "the file may be changed by %1. Let only administrators change it "
                       "(icacls \"%2\" /inheritance:r /grant:r *S-1-5-32-544:F *S-1-5-18:F *S-1-5-32-545:RX).")
                .arg(writer, shown);
        return QStringLiteral("its folder %1 may be changed by %2. Let only administrators change it "
                              "(icacls \"%1\" /inheritance:r /grant:r *S-1-5-32-544:(OI)(CI)F *S-1-5-18:(OI)(CI)F "
                              "*S-1-5-32-545:(OI)(CI)RX).")
            .arg(shown, writer);
    }
    return {};
}
