#include "btrieve/base/EngineErrors.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace btrieve {

namespace {

struct TCodeName {
    uint16_t code;
    const char* name;
};

// The code table in its fixed order: the index gives the string-table id of the name.
const TCodeName kCodes[] = {
    {0x0000, "NONE"}, {0x2101, "SYSFILEOPEN"}, {0x2102, "SYSFILEIO"}, {0x2103, "SYSCORRUPT"},
    {0x2104, "NOCONFIGFILE"}, {0x2105, "CFGCANNOTWRITE"}, {0x2106, "CFGMULTIFILE"},
    {0x2107, "REENTERED"}, {0x2108, "CANTFINDODAPI"}, {0x2109, "CANTLOADODAPI"},
    {0x210A, "CANTLOADLIBRARY"}, {0x2201, "BOF"}, {0x2202, "EOF"}, {0x2203, "RECMOVED"},
    {0x2204, "RECDELETED"}, {0x2204, "KEYORRECDELETED"}, {0x2205, "NOCURRREC"},
    {0x2206, "RECNOTFOUND"}, {0x2207, "ENDOFBLOB"}, {0x2208, "OBJNOTFOUND"},
    {0x2209, "FMLMEMBERNOTFOUND"}, {0x220A, "BLOBFILEMISSING"}, {0x220B, "LDNOTFOUND"},
    {0x2301, "HEADERCORRUPT"}, {0x2302, "FILECORRUPT"}, {0x2303, "MEMOCORRUPT"},
    {0x2304, "BMPCORRUPT"}, {0x2305, "INDEXCORRUPT"}, {0x2306, "CORRUPTLOCKFILE"},
    {0x2307, "FAMFILEINVALID"}, {0x2308, "VALFILECORRUPT"}, {0x2309, "FOREIGNINDEX"},
    {0x2401, "READERR"}, {0x2402, "WRITEERR"}, {0x2403, "DIRNOACCESS"}, {0x2404, "FILEDELETEFAIL"},
    {0x2405, "FILENOACCESS"}, {0x2406, "ACCESSDISABLED"}, {0x2501, "NOMEMORY"},
    {0x2502, "NOFILEHANDLES"}, {0x2503, "NODISKSPACE"}, {0x2504, "NOTEMPTBLSPACE"},
    {0x2505, "RECTOOBIG"}, {0x2506, "CURSORLIMIT"}, {0x2507, "TABLEFULL"}, {0x2508, "WSSESLIMIT"},
    {0x2509, "SERNUMLIMIT"}, {0x250A, "INTERNALLIMIT"}, {0x250B, "OPENTBLLIMIT"},
    {0x250C, "TBLCURSORLIMIT"}, {0x250D, "RECLOCKLIMIT"}, {0x250E, "CLIENTSLIMIT"},
    {0x250F, "INDEXLIMIT"}, {0x2510, "SESSIONSLIMIT"}, {0x2511, "DBLIMIT"},
    {0x2512, "PASSWORDLIMIT"}, {0x2513, "DRIVERLIMIT"}, {0x2514, "FLDLIMIT"},
    {0x2515, "TBLLOCKLIMIT"}, {0x2516, "OPENBLOBLIMIT"}, {0x2517, "LOCKFILELIMIT"},
    {0x2518, "OPENQRYLIMIT"}, {0x2519, "THREADLIMIT"}, {0x251A, "BLOBLIMIT"}, {0x2601, "KEYVIOL"},
    {0x2602, "MINVALERR"}, {0x2603, "MAXVALERR"}, {0x2604, "REQDERR"}, {0x2605, "FORIEGNKEYERR"},
    {0x2606, "DETAILRECORDSEXIST"}, {0x2607, "MASTERTBLLEVEL"}, {0x2608, "LOOKUPTABLEERR"},
    {0x2609, "LOOKUPTBLOPENERR"}, {0x260A, "DETAILTBLOPENERR"}, {0x260B, "MASTERTBLOPENERR"},
    {0x260C, "FIELDISBLANK"}, {0x260D, "MASTEREXISTS"}, {0x260E, "MASTERTBLOPEN"},
    {0x260F, "DETAILTABLESEXIST"}, {0x2610, "DETAILRECEXISTEMPTY"}, {0x2611, "MASTERREFERENCEERR"},
    {0x2612, "DETAILTBLOPEN"}, {0x2613, "DEPENDENTSMUSTBEEMPTY"}, {0x2614, "RINTREQINDEX"},
    {0x2615, "LINKEDTBLPROTECTED"}, {0x2616, "FIELDMULTILINKED"}, {0x2701, "OUTOFRANGE"},
    {0x2702, "INVALIDPARAM"}, {0x2703, "INVALIDFILENAME"}, {0x2704, "NOSUCHFILE"},
    {0x2705, "INVALIDOPTION"}, {0x2706, "INVALIDHNDL"}, {0x2707, "UNKNOWNTBLTYPE"},
    {0x2708, "UNKNOWNFILE"}, {0x2709, "PRIMARYKEYREDEFINE"}, {0x270A, "INVALIDRINTDESCNUM"},
    {0x270B, "KEYFLDTYPEMISMATCH"}, {0x270C, "INVALIDMODIFYREQUEST"}, {0x270D, "NOSUCHINDEX"},
    {0x270E, "INVALIDBLOBOFFSET"}, {0x270F, "INVALIDDESCNUM"}, {0x2710, "INVALIDFLDTYPE"},
    {0x2711, "INVALIDFLDDESC"}, {0x2712, "INVALIDFLDXFORM"}, {0x2713, "INVALIDRECSTRUCT"},
    {0x2714, "INVALIDDESC"}, {0x2715, "INVALIDINDEXSTRUCT"}, {0x2716, "INVALIDVCHKSTRUCT"},
    {0x2717, "INVALIDRINTSTRUCT"}, {0x2718, "INVALIDRESTRTBLORDER"}, {0x2719, "NAMENOTUNIQUE"},
    {0x271A, "INDEXNAMEREQUIRED"}, {0x271B, "INVALIDSESHANDLE"}, {0x271C, "INVALIDRESTROP"},
    {0x271D, "UNKNOWNDRIVER"}, {0x271E, "UNKNOWNDB"}, {0x271F, "INVALIDPASSWORD"},
    {0x2720, "NOCALLBACK"}, {0x2721, "INVALIDCALLBACKBUFLEN"}, {0x2722, "INVALIDDIR"},
    {0x2723, "INVALIDXLATION"}, {0x2724, "DIFFERENTTABLES"}, {0x2725, "INVALIDBOOKMARK"},
    {0x2726, "INVALIDINDEXNAME"}, {0x2727, "INVALIDIDXDESC"}, {0x2728, "NOSUCHTABLE"},
    {0x2729, "USECOUNT"}, {0x272A, "INVALIDKEY"}, {0x272B, "INDEXEXISTS"}, {0x272C, "INDEXOPEN"},
    {0x272D, "INVALIDBLOBLEN"}, {0x272E, "INVALIDBLOBHANDLE"}, {0x272F, "TABLEOPEN"},
    {0x2730, "NEEDRESTRUCTURE"}, {0x2731, "INVALIDMODE"}, {0x2732, "CANNOTCLOSE"},
    {0x2733, "ACTIVEINDEX"}, {0x2734, "INVALIDUSRPASS"}, {0x2735, "MULTILEVELCASCADE"},
    {0x2736, "INVALIDFIELDNAME"}, {0x2737, "INVALIDTABLENAME"}, {0x2738, "INVALIDLINKEXPR"},
    {0x2739, "NAMERESERVED"}, {0x273A, "INVALIDFILEEXTN"}, {0x273B, "INVALIDLANGDRV"},
    {0x273C, "ALIASNOTOPEN"}, {0x273D, "INCOMPATRECSTRUCTS"}, {0x273E, "RESERVEDOSNAME"},
    {0x273F, "DESTMUSTBEINDEXED"}, {0x2740, "INVALIDINDEXTYPE"}, {0x2741, "LANGDRVMISMATCH"},
    {0x2742, "NOSUCHFILTER"}, {0x2743, "INVALIDFILTER"}, {0x2744, "INVALIDTABLECREATE"},
    {0x2745, "INVALIDTABLEDELETE"}, {0x2746, "INVALIDINDEXCREATE"}, {0x2747, "INVALIDINDEXDELETE"},
    {0x2748, "INVALIDTABLE"}, {0x2749, "MULTIRESULTS"}, {0x274A, "INVALIDTIME"},
    {0x274B, "INVALIDDATE"}, {0x274C, "INVALIDTIMESTAMP"}, {0x274D, "DIFFERENTPATH"},
    {0x274E, "MISMATCHARGS"}, {0x274F, "FUNCTIONNOTFOUND"}, {0x2750, "MUSTUSEBASEORDER"},
    {0x2751, "INVALIDPROCEDURENAME"}, {0x2801, "LOCKED"}, {0x2802, "UNLOCKFAILED"},
    {0x2803, "FILEBUSY"}, {0x2804, "DIRBUSY"}, {0x2805, "FILELOCKED"}, {0x2806, "DIRLOCKED"},
    {0x2807, "ALREADYLOCKED"}, {0x2808, "NOTLOCKED"}, {0x2809, "LOCKTIMEOUT"},
    {0x280A, "GROUPLOCKED"}, {0x280B, "LOSTTBLLOCK"}, {0x280C, "LOSTEXCLACCESS"},
    {0x280D, "NEEDEXCLACCESS"}, {0x280E, "RECGROUPCONFLICT"}, {0x280F, "DEADLOCK"},
    {0x2810, "ACTIVETRAN"}, {0x2811, "NOACTIVETRAN"}, {0x2812, "RECLOCKFAILED"},
    {0x2813, "OPTRECLOCKFAILED"}, {0x2814, "OPTRECLOCKRECDEL"}, {0x2901, "NOTSUFFFIELDRIGHTS"},
    {0x2902, "NOTSUFFTABLERIGHTS"}, {0x2903, "NOTSUFFFAMILYRIGHTS"}, {0x2904, "READONLYDIR"},
    {0x2905, "READONLYDB"}, {0x2906, "READONLYFLD"}, {0x2907, "TBLENCRYPTED"},
    {0x2908, "NOTSUFFSQLRIGHTS"}, {0x2A01, "NOTABLOB"}, {0x2A02, "BLOBOPENED"},
    {0x2A03, "BLOBNOTOPENED"}, {0x2A04, "NA"}, {0x2A05, "NOTINDEXED"}, {0x2A06, "NOTINITIALIZED"},
    {0x2A07, "MULTIPLEINIT"}, {0x2A08, "NOTSAMESESSION"}, {0x2A09, "PDXDRIVERNOTACTIVE"},
    {0x2A0A, "DRIVERNOTLOADED"}, {0x2A0B, "TABLEREADONLY"}, {0x2A0C, "NOASSOCINDEX"},
    {0x2A0D, "HASOPENCURSORS"}, {0x2A0E, "NOTABLESUPPORT"}, {0x2A0F, "INDEXREADONLY"},
    {0x2A10, "NOUNIQUERECS"}, {0x2A11, "NOTCURSESSION"}, {0x2A12, "INVALIDKEYWORD"},
    {0x2A13, "CONNECTINUSE"}, {0x2A14, "CONNECTNOTSHARED"}, {0x2B01, "OSEINVFNC"},
    {0x2B02, "OSENOENT"}, {0x2B03, "OSENOPATH"}, {0x2B04, "OSEMFILE"}, {0x2B05, "OSEACCES"},
    {0x2B06, "OSEBADF"}, {0x2B07, "OSECONTR"}, {0x2B08, "OSENOMEM"}, {0x2B09, "OSEINVMEM"},
    {0x2B0A, "OSEINVENV"}, {0x2B0B, "OSEINVFMT"}, {0x2B0C, "OSEINVACC"}, {0x2B0D, "OSEINVDAT"},
    {0x2B0F, "OSENODEV"}, {0x2B10, "OSECURDIR"}, {0x2B11, "OSENOTSAM"}, {0x2B12, "OSENMFILE"},
    {0x2B13, "OSEINVAL"}, {0x2B14, "OSE2BIG"}, {0x2B15, "OSENOEXEC"}, {0x2B16, "OSEXDEV"},
    {0x2B21, "OSEDOM"}, {0x2B22, "OSERANGE"}, {0x2B23, "OSEEXIST"}, {0x2B27, "OSUNKNOWN"},
    {0x2B32, "OSSHAREVIOL"}, {0x2B33, "OSLOCKVIOL"}, {0x2B65, "OSNETERR"}, {0x2B34, "OSINT24FAIL"},
    {0x2B35, "OSDRIVENOTREADY"}, {0x2B64, "NOTEXACT"}, {0x2B66, "OSUNKNOWNSRVERR"},
    {0x2B67, "SERVERNOMEMORY"}, {0x2B68, "OSALREADYLOCKED"}, {0x2B69, "OSNOTLOCKED"},
    {0x2B6A, "NOSERVERSW"}, {0x2C01, "NETINITERR"}, {0x2C02, "NETUSERLIMIT"},
    {0x2C03, "NETFILEVERSION"}, {0x2C04, "NETFILELOCKED"}, {0x2C05, "DIRNOTPRIVATE"},
    {0x2C06, "NETMULTIPLE"}, {0x2C07, "NETUNKNOWN"}, {0x2C08, "SHAREDFILE"},
    {0x2C09, "SHARENOTLOADED"}, {0x2C0A, "NOTONANETWORK"}, {0x2C0B, "SQLCOMMLOST"},
    {0x2C0C, "SERVERCOMMLOST"}, {0x3E01, "WRONGDRVNAME"}, {0x3E02, "WRONGSYSVER"},
    {0x3E03, "WRONGDRVVER"}, {0x3E04, "WRONGDRVTYPE"}, {0x3E05, "CANNOTLOADDRV"},
    {0x3E06, "CANNOTLOADLDDRV"}, {0x3E07, "VENDINITFAIL"}, {0x2E01, "AMBJOASY"},
    {0x2E02, "AMBJOSYM"}, {0x2E03, "AMBOUTEX"}, {0x2E04, "AMBOUTPR"}, {0x2E05, "AMBSYMAS"},
    {0x2E06, "ASETOPER"}, {0x2E07, "AVENUMDA"}, {0x2E08, "BADEXPR1"}, {0x2E09, "BADFLDOR"},
    {0x2E0A, "BADVNAME"}, {0x2E0B, "BITMAPER"}, {0x2E0C, "CALCBADR"}, {0x2E0D, "CALCTYPE"},
    {0x2E0E, "CHGTO1TI"}, {0x2E0F, "CHGTOCHG"}, {0x2E10, "CHGTOEXP"}, {0x2E11, "CHGTOINS"},
    {0x2E12, "CHGTONEW"}, {0x2E13, "CHGTOVAL"}, {0x2E14, "CHKMRKFI"}, {0x2E15, "CHNAMBIG"},
    {0x2E16, "CHUNKERR"}, {0x2E17, "COLUM255"}, {0x2E18, "CONAFTAS"}, {0x2E19, "DEL1TIME"},
    {0x2E1A, "DELAMBIG"}, {0x2E1B, "DELFRDEL"}, {0x2E1C, "EGFLDTYP"}, {0x2E1D, "EXAMINOR"},
    {0x2E1E, "EXPRTYPS"}, {0x2E1F, "EXTRACOM"}, {0x2E20, "EXTRAORO"}, {0x2E21, "EXTRAQRO"},
    {0x2E22, "FIND1ATT"}, {0x2E23, "FINDANST"}, {0x2E24, "GRPNOSET"}, {0x2E25, "GRPSTROW"},
    {0x2E26, "IDFINLCO"}, {0x2E27, "IDFPERLI"}, {0x2E28, "INANEXPR"}, {0x2E29, "INS1TIME"},
    {0x2E2A, "INSAMBIG"}, {0x2E2B, "INSDELCH"}, {0x2E2C, "INSEXPRR"}, {0x2E2D, "INSTOINS"},
    {0x2E2E, "ISARRAY"}, {0x2E2F, "LABELERR"}, {0x2E30, "LINKCALC"}, {0x2E31, "LNGVNAME"},
    {0x2E32, "LONGQURY"}, {0x2E33, "MEMVPROC"}, {0x2E34, "MISNGCOM"}, {0x2E35, "MISNGRPA"},
    {0x2E36, "MISSRTQU"}, {0x2E37, "NAMTWICE"}, {0x2E38, "NOCHKMAR"}, {0x2E39, "NODEFOCC"},
    {0x2E3A, "NOGROUPS"}, {0x2E3B, "NONSENSE"}, {0x2E3C, "NOPATTER"}, {0x2E3D, "NOSUCHDA"},
    {0x2E3E, "NOVALUE"}, {0x2E3F, "ONLYCONS"}, {0x2E40, "ONLYSETR"}, {0x2E41, "OUTSENS1"},
    {0x2E42, "OUTTWIC1"}, {0x2E43, "PAROWCNT"}, {0x2E44, "PERSEPAR"}, {0x2E45, "PROCPLSW"},
    {0x2E46, "PWINSRTS"}, {0x2E47, "PWMODRTS"}, {0x2E48, "QBEFLDFOUND"}, {0x2E49, "QBENOFENCE"},
    {0x2E4A, "QBENOFENCET"}, {0x2E4B, "QBENOHEADERT"}, {0x2E4C, "QBENOTAB"},
    {0x2E4D, "QBENUMCOLS"}, {0x2E4E, "QBEOPENTAB"}, {0x2E4F, "QBETWICE"}, {0x2E50, "QRYNOANSWER"},
    {0x2E51, "QRYNOTPREP"}, {0x2E52, "QUAINDEL"}, {0x2E53, "QUAININS"}, {0x2E54, "RAGININS"},
    {0x2E55, "RAGINSET"}, {0x2E56, "ROWUSERR"}, {0x2E57, "SETEXPEC"}, {0x2E58, "SETVAMB1"},
    {0x2E59, "SETVBAD1"}, {0x2E5A, "SETVDEF1"}, {0x2E5B, "SUMNUMBE"}, {0x2E5C, "TBLISWP3"},
    {0x2E5D, "TOKENNOT"}, {0x2E5E, "TWOOUTR1"}, {0x2E5F, "TYPEMISM"}, {0x2E60, "UNRELQ1"},
    {0x2E61, "UNUSEDST"}, {0x2E62, "USEINSDE"}, {0x2E63, "USEOFCHG"}, {0x2E64, "VARMUSTF"},
    {0x2E65, "REGISTER"}, {0x2E66, "LONGEXPR"}, {0x2E67, "REFRESH"}, {0x2E68, "CANCEXCEPT"},
    {0x2E69, "DBEXCEPT"}, {0x2E6A, "MEMEXCEPT"}, {0x2E6B, "FATALEXCEPT"}, {0x2E6C, "QRYNIY"},
    {0x2E6D, "BADFORMAT"}, {0x2E6E, "QRYEMPTY"}, {0x2E6F, "NOQRYTOPREP"}, {0x2E70, "BUFFTOOSMALL"},
    {0x2E71, "QRYNOTPARSE"}, {0x2E72, "NOTHANDLE"}, {0x2E73, "QRYSYNTERR"}, {0x2E74, "QXFLDCOUNT"},
    {0x2E75, "QXFLDSYMNOTFOUND"}, {0x2E76, "QXTBLSYMNOTFOUND"}, {0x2E77, "BLOBTERM"},
    {0x2E78, "BLOBERR"}, {0x2E79, "RESTARTQRY"}, {0x2E7A, "UNKNOWNANSTYPE"},
    {0x2E7B, "SQLG_MDIST"}, {0x2E7C, "SQLG_NOARI"}, {0x2E7D, "SQLG_LIKEN"}, {0x2E7E, "SQLG_ALPHO"},
    {0x2E7F, "SQLG_DATEO"}, {0x2E80, "SQLG_RELOP"}, {0x2E81, "SQLG_ONLYC"}, {0x2E82, "SQLG_CNTLN"},
    {0x2E83, "SQLG_CHINI"}, {0x2E84, "SQLG_UNION"}, {0x2E85, "SQLG_SLFIN"}, {0x2E86, "SQLG_OTJVR"},
    {0x2E87, "SQLG_STROW"}, {0x2E88, "SQLG_QUANT"}, {0x2E89, "SQLG_REGSO"}, {0x2E8A, "SQLG_COUNT"},
    {0x2E8B, "SQLG_AVERA"}, {0x2E8C, "SQLG_DATEA"}, {0x2E8D, "SQLG_BADPT"}, {0x2E8E, "SQLG_RELPA"},
    {0x2E8F, "SQLG_PATRN"}, {0x2E90, "SQLG_FNDSU"}, {0x2E91, "SQLG_IFDCS"}, {0x2E92, "SQLG_IDCCO"},
    {0x2E93, "SQLG_ONLYI"}, {0x2E94, "SQLG_SQLDIALECT"}, {0x2E95, "SQLG_NOQUERY"},
    {0x2E96, "BLOBGROUP"}, {0x2E97, "QRYNOPROP"}, {0x2E98, "ANSTYPNOTSUP"},
    {0x2E99, "ANSALIASNOTSUP"}, {0x2E9A, "INSBLOBREQ"}, {0x2E9B, "CHGUNIQUENDXREQ"},
    {0x2E9C, "DELUNIQUENDXREQ"}, {0x2E9D, "SQLNOFULLUPDATE"}, {0x2E9E, "CANTEXECREMOTE"},
    {0x2E9F, "UNEXPECTEDEOC"}, {0x2EA0, "SQLPARAMNOTSET"}, {0x2EA1, "QUERYTOOLONG"},
    {0x2F01, "INTERFACEVER"}, {0x2F02, "INDEXOUTOFDATE"}, {0x2F03, "OLDVERSION"},
    {0x2F04, "VALFILEINVALID"}, {0x2F05, "BLOBVERSION"}, {0x2F06, "ENGQRYMISMATCH"},
    {0x2F07, "SERVERVERSION"}, {0x3001, "NOTSUPPORTED"}, {0x3002, "NIY"}, {0x3003, "TABLESQL"},
    {0x3004, "SEARCHCOLREQD"}, {0x3005, "NOMULTCONNECT"}, {0x3101, "INVALIDDBSPEC"},
    {0x3102, "UNKNOWNDBTYPE"}, {0x3103, "INVALIDSYSDATA"}, {0x3104, "UNKNOWNNETTYPE"},
    {0x3105, "NOTONTHATNET"}, {0x3106, "INVALIDCFGPARAM"}, {0x3201, "OBJIMPLICITLYDROPPED"},
    {0x3202, "OBJMAYBETRUNCATED"}, {0x3203, "OBJIMPLICITLYMODIFIED"}, {0x3204, "VALIDATEDATA"},
    {0x3205, "VALFIELDMODIFIED"}, {0x3206, "TABLELEVELCHANGED"}, {0x3207, "COPYLINKEDTABLES"},
    {0x3208, "OTHERSERVERLOADED"}, {0x3209, "OBJIMPLICITLYTRUNCATED"},
    {0x320A, "VCHKMAYNOTBEENFORCED"}, {0x320B, "MULTIPLEUNIQRECS"}, {0x320C, "FIELDMUSTBETRIMMED"},
    {0x3301, "FILEEXISTS"}, {0x3302, "BLOBMODIFIED"}, {0x3303, "UNKNOWNSQL"},
    {0x3304, "TABLEEXISTS"}, {0x3305, "PDX10TABLE"}, {0x3401, "DIFFSORTORDER"},
    {0x3402, "DIRINUSEBYOLDVER"}, {0x3403, "PDX35LDDRIVER"}, {0x2D01, "REQOPTPARAM"},
    {0x2D02, "INVALIDOPTPARAM"},
};
static_assert(sizeof(kCodes) / sizeof(kCodes[0]) == kResultCodeCount);

// The formats hold one %d or %u: the value goes in as the int they read.
AnsiString FormatInt(const AnsiString& format, int value) {
    char buf[300];
    std::snprintf(buf, sizeof buf, format.c_str(), value);
    return buf;
}

}  // namespace

uint16_t ResultCodeAt(size_t index) { return index < kResultCodeCount ? kCodes[index].code : 0; }

const char* ResultNameById(int id) {
    const int index = id - kResultNameIdBase;
    if (index < 0 || index >= static_cast<int>(kResultCodeCount)) return nullptr;
    return kCodes[index].name;
}

AnsiString GetErrorName(uint16_t code, size_t maxLength) {
    AnsiString text;
    const auto* it = std::find_if(std::begin(kCodes), std::end(kCodes),
                                  [code](const TCodeName& c) { return c.code == code; });
    if (it != std::end(kCodes))
        text = AnsiString("DBIERR_") + ResultNameById(kResultNameIdBase + static_cast<int>(it - kCodes));
    else
        text = FormatInt("Quillon (BDE) Error %u.", static_cast<int>(code));
    if (text.size() > maxLength) text.resize(maxLength);
    return text;
}

// The runtime's message stays empty: the facade builds the texts from the code.
EQuillonEngineError::EQuillonEngineError(uint16_t code) : code_(code) { SetMessage(AnsiString()); }

EQuillonEngineError::EQuillonEngineError(uint16_t code, const AnsiString& message)
    : code_(code), errorMessage_(message.substr(0, 255)) {
    SetMessage(AnsiString());
}

void RaiseEngineError(uint16_t code) { throw EQuillonEngineError(code); }
void RaiseEngineErrorMsg(uint16_t code, const AnsiString& message) { throw EQuillonEngineError(code, message); }
void RaiseEOF() { throw EQuillonEOFError(); }
void RaiseBOF() { throw EQuillonBOFError(); }
void RaiseUnsupported(int /*messageId*/) { throw EQuillonEngineError(rc::NotSupported); }

bool CheckOrRaise(bool condition, uint16_t code) {
    if (!condition) RaiseEngineError(code);
    return true;
}

uint16_t MapStatus(const TStatusPair* pairs, int count, int32_t status) {
    if (pairs)
        for (int i = 0; i < count; ++i)
            if (pairs[i].native == status) return pairs[i].code;
    // A failure never maps to success: statuses that are no result code give 0xFFFF.
    return status < 0 || status > 0xFFFF ? 0xFFFF : static_cast<uint16_t>(status);
}

void CopyToField(char* field, size_t size, const AnsiString& text) {
    if (size == 0) return;
    const size_t n = std::min(text.size(), size - 1);
    std::memcpy(field, text.data(), n);
    field[n] = '\0';
}

AnsiString FieldText(const char* field, size_t size) {
    const void* end = std::memchr(field, '\0', size);
    return AnsiString(field, end ? static_cast<const char*>(end) - field : size);
}

TErrorStack::TErrorStack(uint16_t capacity) : capacity_(std::min(capacity, kMaxCapacity)) {}

void TErrorStack::Push(const TErrorEntry& entry) {
    if (capacity_ == 0) return;
    if (storage_.empty()) storage_.resize(capacity_);
    const size_t moved = count_ < capacity_ ? count_ : capacity_ - 1;
    std::move_backward(storage_.begin(), storage_.begin() + moved, storage_.begin() + moved + 1);
    storage_[0] = entry;
    count_ = static_cast<uint16_t>(std::min<int>(count_ + 1, capacity_));
}

TErrorEntry TErrorStack::EntryFor(const EQuillonEngineError& error) {
    TErrorEntry entry{};
    entry.resultCode = error.Code();
    AnsiString text = GetErrorName(error.Code(), 255);
    if (text.find("DBIERR_") == AnsiString::npos) text = FormatInt(error.GetNativeFormat(), error.NativeCode());
    CopyToField(entry.errorText, sizeof entry.errorText, text);
    entry.nativeCode = error.NativeCode();
    const AnsiString native = error.GetNativeText();
    if (!native.empty()) CopyToField(entry.nativeText, sizeof entry.nativeText, native);
    // A long message goes on in the next context texts, each one terminated in its
    // own slot, so that readers of the slots never run from one into the next.
    const AnsiString& message = error.ErrorMessage();
    constexpr size_t slot = sizeof entry.context[0] - 1;
    for (size_t i = 0; i < 4 && i * slot < message.size(); ++i)
        CopyToField(entry.context[i], sizeof entry.context[i], message.substr(i * slot, slot));
    return entry;
}

void TErrorStack::PushException(const EQuillonEngineError& error) { Push(EntryFor(error)); }

bool TErrorStack::EntryAt(int n, TErrorEntry& entry) const {
    if (n < 1 || n > count_) return false;
    entry = storage_[n - 1];
    return true;
}

}  // namespace btrieve
