#include "CommandLine.h"

namespace {

const int kMaxPartnerIdLength = 64;

bool IsBlank(char ch)
{
    return ch == ' ' || ch == '\t';
}

enum class Option {
    Help,
    Silent,
    Components,
    NoComponents,
    NoShortcuts,
    NoRun,
    PartnerId,
    Log,
    ProxyUser,
    ProxyPassword,
    Unknown
};

struct OptionName {
    const char* name;
    Option option;
    bool takesValue;
};

const OptionName kOptions[] = {
    {"?", Option::Help, false},
    {"HELP", Option::Help, false},
    {"S", Option::Silent, false},
    {"COMPONENTS", Option::Components, true},
    {"NOCOMPONENTS", Option::NoComponents, false},
    {"NOSHORTCUTS", Option::NoShortcuts, false},
    {"NORUN", Option::NoRun, false},
    {"PID", Option::PartnerId, true},
    {"LOG", Option::Log, true},
    {"PROXYUSER", Option::ProxyUser, true},
    {"PROXYPASS", Option::ProxyPassword, true},
};

const OptionName* FindOption(const CString& name)
{
    for (const OptionName& known : kOptions) {
        if (name.CompareNoCase(known.name) == 0)
            return &known;
    }
    return nullptr;
}

// "/COMPONENTS=a,b" gives "a" and "b": names exactly as the component list writes them.
// An empty name (",," or a comma at either end) is malformed.
bool SplitNames(const CString& value, std::vector<CString>& names)
{
    names = SplitAt(value, ',');
    for (const CString& name : names) {
        if (name.IsEmpty())
            return false;
    }
    return true;
}

CString Problem(const char* what, const CString& argument)
{
    CString text;
    text.Format("%s: %s", what, argument.GetString());
    return text;
}

// Applies one option with its value; false with `error` set when the value is malformed.
bool Apply(Option option, const CString& value, const CString& argument, SetupOptions& options, CString& error)
{
    switch (option) {
    case Option::Help: options.help = true; return true;
    case Option::Silent: options.silent = true; return true;
    case Option::NoComponents: options.noComponents = true; return true;
    case Option::NoShortcuts: options.noShortcuts = true; return true;
    case Option::NoRun: options.noRun = true; return true;
    case Option::Components:
        options.componentsGiven = true;
        if (HasControlCharacter(value) || !SplitNames(value, options.components)) {
            error = Problem("구성 요소 이름이 잘못되었습니다", argument);
            return false;
        }
        return true;
    case Option::PartnerId:
        options.partnerIdGiven = true;
        options.partnerId = value;
        if (!IsWellFormedPartnerId(value)) {
            error = Problem("파트너 ID가 잘못되었습니다 (영문자, 숫자, -, _, ~ 64자 이내)", argument);
            return false;
        }
        return true;
    case Option::Log:
        // A malformed path is never opened, not even to log the refusal.
        if (value.IsEmpty() || HasControlCharacter(value)) {
            error = Problem("로그 파일 경로가 잘못되었습니다", argument);
            return false;
        }
        options.logPath = value;
        return true;
    case Option::ProxyUser:
    case Option::ProxyPassword:
        // The argument itself is never repeated: it may hold the password.
        options.proxyCredentialsGiven = true;
        (option == Option::ProxyUser ? options.proxyUser : options.proxyPassword) = value;
        if (value.IsEmpty() || HasControlCharacter(value)) {
            error = option == Option::ProxyUser ? "프록시 사용자 이름이 잘못되었습니다: /PROXYUSER"
                                                : "프록시 암호가 잘못되었습니다: /PROXYPASS";
            return false;
        }
        return true;
    case Option::Unknown: break;
    }
    return false;
}

}  // namespace

std::vector<CString> SplitCommandLine(const CString& commandLine)
{
    std::vector<CString> args;
    const int length = commandLine.GetLength();
    int i = 0;
    for (;;) {
        while (i < length && IsBlank(commandLine[i]))
            ++i;
        if (i >= length)
            return args;
        CString arg;
        bool quoted = false;
        while (i < length && (quoted || !IsBlank(commandLine[i]))) {
            int backslashes = 0;
            while (i < length && commandLine[i] == '\\') {
                ++backslashes;
                ++i;
            }
            if (i < length && commandLine[i] == '"') {
                arg += CString('\\', backslashes / 2);
                if (backslashes % 2 == 1)
                    arg += '"';
                else
                    quoted = !quoted;
                ++i;
            } else {
                arg += CString('\\', backslashes);
                if (i < length && (quoted || !IsBlank(commandLine[i])))
                    arg += commandLine[i++];
            }
        }
        args.push_back(arg);
    }
}

bool ParseSetupOptions(const std::vector<CString>& args, SetupOptions& options, CString& error)
{
    options = SetupOptions();
    error.Empty();
    // A refused command line says so in a message box unless /S asks for none, wherever
    // the fault stands.
    for (const CString& arg : args)
        options.silent = options.silent || arg.CompareNoCase("/S") == 0 || arg.CompareNoCase("-S") == 0;
    std::vector<Option> seen;
    for (const CString& arg : args) {
        if (arg.GetLength() < 2 || (arg[0] != '/' && arg[0] != '-')) {
            error = Problem("알 수 없는 인수입니다", arg);
            return false;
        }
        const int equals = arg.Find('=');
        const CString name = equals < 0 ? arg.Mid(1) : arg.Mid(1, equals - 1);
        const OptionName* known = FindOption(name);
        if (!known) {
            error = Problem("알 수 없는 옵션입니다", arg);
            return false;
        }
        // The refusal names the option, not the argument: /PROXYPASS's holds a password.
        const CString named = known->option == Option::ProxyPassword ? CString("/PROXYPASS") : arg;
        if ((equals >= 0) != known->takesValue) {
            error = Problem(known->takesValue ? "값이 필요한 옵션입니다" : "값을 받지 않는 옵션입니다", named);
            return false;
        }
        for (Option before : seen) {
            if (before == known->option) {
                error = Problem("같은 옵션이 두 번 쓰였습니다", named);
                return false;
            }
        }
        seen.push_back(known->option);
        if (!Apply(known->option, equals < 0 ? CString() : arg.Mid(equals + 1), arg, options, error))
            return false;
    }

    if (options.help && args.size() > 1) {
        error = "/? 는 다른 옵션과 함께 쓸 수 없습니다";
        return false;
    }
    if (options.componentsGiven && options.noComponents) {
        error = "/COMPONENTS 와 /NOCOMPONENTS 는 함께 쓸 수 없습니다";
        return false;
    }
    if (options.proxyCredentialsGiven && (options.proxyUser.IsEmpty() || options.proxyPassword.IsEmpty())) {
        error = "/PROXYUSER 와 /PROXYPASS 는 함께 써야 합니다";
        return false;
    }
    const bool needsSilent = options.componentsGiven || options.noComponents || options.noShortcuts ||
                             options.noRun || options.partnerIdGiven || options.proxyCredentialsGiven;
    if (needsSilent && !options.silent) {
        error = "/LOG 외의 옵션은 /S 와 함께만 쓸 수 있습니다";
        return false;
    }
    return true;
}

CString CommandLineForLog(const std::vector<CString>& args)
{
    CString line;
    for (const CString& arg : args) {
        const int equals = arg.Find('=');
        const OptionName* known = arg.GetLength() > 1 && (arg[0] == '/' || arg[0] == '-') && equals > 1
                                      ? FindOption(arg.Mid(1, equals - 1))
                                      : nullptr;
        CString shown = known && known->option == Option::ProxyPassword ? arg.Left(equals + 1) + "(hidden)" : arg;
        if (shown.IsEmpty() || shown.Find(' ') >= 0 || shown.Find('\t') >= 0)
            shown = "\"" + shown + "\"";
        if (!line.IsEmpty())
            line += ' ';
        line += shown;
    }
    return line;
}

bool IsWellFormedPartnerId(const CString& id)
{
    if (id.IsEmpty() || id.GetLength() > kMaxPartnerIdLength)
        return false;
    for (int i = 0; i < id.GetLength(); ++i) {
        const char ch = id[i];
        const bool allowed = (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z') || (ch >= '0' && ch <= '9') ||
                             ch == '-' || ch == '_' || ch == '~';
        if (!allowed)
            return false;
    }
    return true;
}

const char* SetupUsageText()
{
    return "사용법: Setup.exe [/S [/COMPONENTS=이름1,이름2 | /NOCOMPONENTS] [/NOSHORTCUTS] [/NORUN] [/PID=ID] "
           "[/PROXYUSER=이름 /PROXYPASS=암호]] [/LOG=파일]\r\n"
           "\r\n"
           "/S\t창 없이 설치합니다 (무인 설치).\r\n"
           "/COMPONENTS=이름1,이름2\t이름을 지정한 추가 구성 요소만 설치합니다. 필수 구성 요소는 항상 설치됩니다.\r\n"
           "/NOCOMPONENTS\t필수 구성 요소만 설치합니다.\r\n"
           "/NOSHORTCUTS\t바로 가기를 만들지 않습니다.\r\n"
           "/NORUN\t설치가 끝난 뒤 플레이어를 실행하지 않습니다.\r\n"
           "/PID=ID\t파일 이름 대신 이 파트너 ID로 설치합니다 (영문자, 숫자, -, _, ~).\r\n"
           "/PROXYUSER=이름 /PROXYPASS=암호\t인증을 요구하는 프록시에 쓸 사용자 이름과 암호입니다 (게시자 서버에는 "
           "보내지 않습니다).\r\n"
           "/LOG=파일\t설치 과정을 UTF-8 텍스트 파일에 기록합니다. /S 없이도 쓸 수 있습니다.\r\n"
           "/? 또는 /HELP\t이 도움말을 보여 줍니다.\r\n"
           "\r\n"
           "/LOG 외의 옵션은 /S 와 함께만 쓸 수 있습니다.\r\n"
           "\r\n"
           "종료 코드: 0 모두 설치됨, 1 플레이어는 설치되었으나 다른 파일이나 구성 요소가 빠짐, "
           "2 플레이어가 설치되지 않음, 3 사용자가 취소함, 4 다른 설치 프로그램이 실행 중, "
           "5 잘못된 명령줄, 6 설치 프로그램을 시작할 수 없음";
}
