// IBM families: VM/CMS, MVS, MVS/KNET, Spartacus KNET, AS/400, MUSIC/SP
// and R1000.
#include "listing_test_util.h"
#include "lineutil.h"

TEST(VmDecoder, LongAndFileListForms)
{
    ExpectLine(6004, Cols({{0, "03/24/97   14:01"}, {22, "F"}, {23, "   80"}, {32, "12"}, {48, "'PROFILE EXEC'"}}),
               {"PROFILE EXEC", 0, 1997, 3, 24, 14, 1, 960});
    ExpectLine(6004, Cols({{0, "03/24/97   14:01"}, {22, "D"}, {48, "TOOLS"}}), {"TOOLS", 4, 1997, 3, 24, 14, 1, 0});
    ExpectLine(6004, Cols({{0, "PROFILE  EXEC"}, {19, "V"}, {23, "72"}, {31, "21"}, {44, "1"}, {53, "3/24/97 14:01:12"}}),
               {"PROFILE.EXEC", 0, 1997, 3, 24, 14, 1, 1512});
    ExpectLine(6004, Cols({{0, "ALL      NOTEBOOK"}, {19, "F"}, {23, "80"}, {31, "3"}, {53, "2003-11-02 08:30:00"}}),
               {"ALL.NOTEBOOK", 0, 2003, 11, 2, 8, 30, 240});
    ExpectLine(6004, Cols({{0, "TOOLS    DIR"}, {23, "0"}, {31, "0"}, {53, "1997-03-24 14:01:12"}}),
               {"TOOLS.DIR", 4, 1997, 3, 24, 14, 1, 0});
    // names listed with the directory in front lose it
    ExpectLine(6004, Cols({{0, "JOEFILE  DATA"}, {23, "1"}, {31, "1"}, {53, "1997-03-24 14:01"}}),
               {"FILE.DATA", 0, 1997, 3, 24, 14, 1, 1}, "JOE");
}

TEST(MvsDecoder, DataSetListing)
{
    ExpectNoEntry(6018, "Volume Unit    Referred Ext Used Recfm Lrecl BlkSz Dsorg Dsname");
    ExpectLine(6018, Cols({{0, "WYOSPT 3390"}, {14, "2003/03/18"}, {26, "2"}, {30, "15"}, {34, "FB"}, {41, "80"},
                           {46, "3120"}, {52, "PS"}, {56, "USER.JCL.CNTL"}}),
               {"USER.JCL.CNTL", 0, 2003, 3, 18, 0, 0, 0});
    ExpectLine(6018, Cols({{0, "WYOSPT 3390"}, {14, "2003/03/18"}, {26, "2"}, {30, "15"}, {34, "U"}, {41, "0"},
                           {46, "6144"}, {52, "PO"}, {56, "USER.LOADLIB"}}),
               {"USER.LOADLIB", 4, 2003, 3, 18, 0, 0, 0});  // partitioned: its date is read too
    ExpectLine(6018, Cols({{0, "WYOSPT 3390"}, {14, "03/03/18"}, {24, "1"}, {28, "15"}, {32, "FB"}, {39, "80"},
                           {44, "3120"}, {50, "PO"}, {54, "USER.SRCLIB"}}),
               {"USER.SRCLIB", 4, 2003, 3, 18, 0, 0, 0});
    ExpectLine(6018, Cols({{0, "WYOSPT 3390"}, {14, "03/03/18"}, {24, "1"}, {28, "15"}, {32, "FB"}, {39, "80"},
                           {44, "3120"}, {50, "PS"}, {54, "USER.OLD"}}),
               {"USER.OLD", 0, 2003, 3, 18, 0, 0, 0});
    ExpectLine(6018, Cols({{0, "Migrated"}, {56, "USER.ARCHIVED"}}), {"USER.ARCHIVED", 0, 0, 0, 0, 0, 0, 0});
    ExpectNoEntry(6018, Cols({{0, "WYOSPT 3390"}, {14, "2003/03/18"}, {26, "VSAM "}, {56, "USER.KSDS"}}));
    ExpectNoEntry(6018, Cols({{0, "SOMEDSN"}, {9, "MIGRAT"}, {56, "X"}}));
    // member lists
    ExpectLine(6018, Cols({{0, "PAYROLL1"}, {10, "01.03 2003/03/18 2003/03/19 10:21    25    25     0 JOE"}}),
               {"PAYROLL1", 0, 0, 0, 0, 0, 0, 0});
    ExpectLine(6018, Cols({{0, "ABC"}, {10, "01.00 2003/03/18 2003/03/18 10:00    10    10     0 JOE"}}),
               {"ABC", 0, 0, 0, 0, 0, 0, 0});
    ExpectLine(6018, "ABC", {"ABC", 0, 0, 0, 0, 0, 0, 0});
    ExpectNoEntry(6018, " Name     VV.MM   Created");
}

TEST(MvsDecoder, KnetServers)
{
    ExpectLine(6024, "JOE.SOURCE.CNTL   PO  FB   80  3120", {"SOURCE.CNTL", 4, 0, 0, 0, 0, 0, 0}, "", "joe");
    ExpectLine(6024, "OTHER.DATA        PS  FB   80  3120", {"OTHER.DATA", 0, 0, 0, 0, 0, 0, 0}, "", "joe");
    ExpectLine(6024, "JOEY.DATA  PS", {"JOEY.DATA", 0, 0, 0, 0, 0, 0, 0}, "", "joe");
    ExpectNoEntry(6024, "Migrated JOE.OLD");

    ExpectLine(6029, Cols({{0, "USER   SOURCE   CNTL"}, {27, "80"}, {33, "20"}, {57, "03/18/03"}, {67, "10"}, {70, "21"}, {73, "05"}}),
               {"USER.SOURCE.CNTL", 0, 2003, 3, 18, 10, 21, 1600});
    EXPECT_EQ(Decode(6029, Cols({{0, "A  B"}, {73, "05"}})).second, 5);
    ExpectNoEntry(6029, "X");
    ExpectNoEntry(6029, "USER   Migrated");
}

TEST(As400Decoder, ObjectListingWithMembers)
{
    tessel::listing::ResetAs400State();
    // a member ahead of any object line borrows nothing; a member is
    // named through its file
    ExpectLine(6017, "RMTUSR                                 *MEM       RMTLIB/EARLY.FILE/M0.MBR",
               {"EARLY.FILE/M0.MBR", 0, 0, 0, 0, 0, 0, 0});
    const struct {
        const char *line;
        Want want;
    } rows[] = {
        {"QSYS           18944 03/10/99 10:21:05 *DIR       QOpenSys/", {"QOpenSys", 4, 1999, 3, 10, 10, 21, 18944}},
        {"RMTUSR         28672 05/06/98 12:59:30 *FILE      RMTLIB/QCLSRC.FILE", {"QCLSRC.FILE", 0, 1998, 5, 6, 12, 59, 28672}},
        {"RMTUSR                                 *MEM       RMTLIB/QCLSRC.FILE/MBR1.MBR", {"QCLSRC.FILE/MBR1.MBR", 0, 1998, 5, 6, 12, 59, 28672}},
        {"RMTUSR                                 *MEM       RMTLIB/QCLSRC.FILE/MBR2.MBR", {"QCLSRC.FILE/MBR2.MBR", 0, 1998, 5, 6, 12, 59, 28672}},
        {"RMTUSR          4096 01/15/99 08:00:00 *STMF      /home/rmtusr/notes.txt", {"notes.txt", 0, 1999, 1, 15, 8, 0, 4096}},
        {"QSYS          135168 02/28/99 23:01:00 *LIB       QGPL", {"QGPL", 4, 1999, 2, 28, 23, 1, 135168}},
        {"RMTUSR                                 *MEM       RMTLIB/OTHER.FILE/M3.MBR", {"OTHER.FILE/M3.MBR", 0, 1999, 2, 28, 23, 1, 135168}},
    };
    for (const auto &row : rows)
        ExpectLine(6017, row.line, row.want);
    ExpectNoEntry(6017, "QSYS  *DIR  short");
}

TEST(As400Decoder, ColumnForms)
{
    tessel::listing::ResetAs400State();
    ExpectLine(6017, Cols({{0, "QSYS"}, {16, "18944"}, {22, "03/10/99"}, {31, "10:21:05"}, {41, "DIR"}, {51, "QOpenSys"}}),
               {"QOpenSys", 4, 1999, 3, 10, 10, 21, 18944});
    ExpectLine(6017, Cols({{0, "QSYS"}, {18, "512"}, {22, "03/10/99"}, {31, "10:21:05"}, {41, "FILE"}, {51, "DATA.FILE"}}),
               {"DATA.FILE", 0, 1999, 3, 10, 10, 21, 512});
    ExpectNoEntry(6017, Cols({{0, "QSYS"}, {18, "512"}, {22, "03/10/99"}, {31, "10:21:05"}, {41, "MEM"}, {51, "M1.MBR"}}));
    ExpectLine(6017, Cols({{0, "QSYS"}, {16, "18944"}, {24, "03/10/99"}, {33, "10:21:05"}, {43, "LIB"}, {53, "MYLIB"}}),
               {"MYLIB", 4, 1999, 3, 10, 10, 21, 18944});
    // the column size is remembered for a following member line
    ExpectLine(6017, "RMTUSR                                 *MEM       RMTLIB/F.FILE/M.MBR", {"F.FILE/M.MBR", 0, 0, 0, 0, 0, 0, 18944});
}

TEST(IbmOthers, MusicAndR1000)
{
    ExpectLine(6049, Cols({{0, "PROFILE.EXEC"}, {30, "12"}, {45, "24MAR97 14:01   RW"}}),
               {"PROFILE.EXEC", 0, 1997, 3, 24, 14, 1, 12288});
    ExpectNoEntry(6049, " PROFILE.EXEC  12");
    ExpectNoEntry(6049, "PROFILE.EXEC  12  24MAR97");

    ExpectLine(6027, "!USERS.JOE  DIRECTORY", {"!USERS.JOE", 4, 0, 0, 0, 0, 0, 0});
    ExpectLine(6027, "!MACHINE  WORLD", {"!MACHINE", 4, 0, 0, 0, 0, 0, 0});
    ExpectLine(6027, "NOTES  TEXT", {"NOTES", 0, 0, 0, 0, 0, 0, 0});
    ExpectNoEntry(6027, "JOE_S  SESSION");
}
