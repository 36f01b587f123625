// Table of every localiser, then the engine that applies a row.
#include "console/dialogs/dialog_text_table.h"

#include <cstdlib>

#include "common/bytes.h"
#include "console/shell/dialog_texts.h"

namespace lark {

namespace {

constexpr TextSource O = TextSource::kOwn;
constexpr TextSource C = TextSource::kCommon;
constexpr TextSource T = TextSource::kTab;

// ---- object dialogs ----
constexpr LocaliserRow kAddObject[] = {{O, "Title", {}, "Add Object"}};
constexpr LocaliserRow kCutObject[] = {{O, "Title", {}, "Cut Object"}};
constexpr LocaliserRow kPasteObject[] = {{O, "Title", {}, "Paste Object"}};
constexpr LocaliserRow kRemoveObject[] = {{O, "Title", {}, "Remove Object"}};
constexpr LocaliserRow kRemoveAllObject[] = {{O, "Title", {}, "Remove All Object"}};
constexpr LocaliserRow kProGroup[] = {{O, "Title", {}, "Property - Group"},
                                      {O, "L_1", {1600}, "Title:"},
                                      {O, "L_2", {1243}, "Location:"},
                                      {C, "T_6", {1}, "&OK"},
                                      {C, "T_7", {2}, "&Cancel"}};
constexpr LocaliserRow kProSNMP[] = {{O, "Title", {}, "Property - SNMP"},
                                     {O, "L_1", {1600}, "Title:"},
                                     {O, "L_2", {1243}, "SNMP"},
                                     {O, "L_3", {1244}, "IP Address:"},
                                     {O, "L_4", {1245}, "UDP Port:"},
                                     {O, "L_5", {1246}, "Community:"},
                                     {O, "L_6", {1247}, "Location:"},
                                     {O, "C_1", {1205}, "Stop Operation"},
                                     {O, "C_2", {1119}, "Save in Database"},
                                     {O, "B_1", {1}, "&OK and Connect"},
                                     {O, "B_2", {1319}, "Alarm Mask..."},
                                     {C, "T_7", {2}, "&Cancel"}};
constexpr LocaliserRow kProLocal[] = {{O, "Title", {}, "Property - Local"},
                                      {O, "L_1", {1600}, "Title:"},
                                      {O, "L_2", {1243}, "Local"},
                                      {O, "L_3", {1244}, "COM Port:"},
                                      {O, "L_4", {1245}, "UPS ID:"},
                                      {O, "L_5", {1246}, "Baud Rate:"},
                                      {O, "L_6", {1247}, "Comm. Type:"},
                                      {O, "L_7", {1248}, "Location:"},
                                      {O, "C_1", {1205}, "Stop Operation"},
                                      {O, "C_2", {1119}, "Save in Database"},
                                      {O, "B_1", {1}, "&OK and Connect"},
                                      {O, "B_2", {4}, "&Advance..."},
                                      {O, "B_3", {1319}, "Alarm Mask..."},
                                      {C, "T_7", {2}, "&Cancel"}};
constexpr LocaliserRow kProGPRS[] = {{O, "Title", {}, "Property - GPRS"},
                                     {O, "L_1", {1600}, "Title:"},
                                     {O, "L_2", {1243}, "Location:"},
                                     {C, "T_6", {1}, "OK"},
                                     {C, "T_7", {2}, "Cancel"}};
constexpr LocaliserRow kAlarmMask[] = {{C, "T_6", {1}, "OK"}, {C, "T_7", {2}, "Cancel"}};
constexpr LocaliserRow kBackground[] = {{O, "Title", {}, "Background"},
                                        {O, "L_1", {1600}, "Bitmap File Name:"},
                                        {O, "B_1", {1004}, "&Browse..."},
                                        {C, "T_6", {1}, "&OK"},
                                        {C, "T_7", {2}, "&Cancel"}};
// ---- settings ----
constexpr LocaliserRow kConnection[] = {{O, "Title", {}, "Connection"},
                                        {O, "L_1", {1600}, "SNMP polling interval:"},
                                        {O, "L_2", {1243}, "Serial polling interval:"},
                                        {O, "L_3", {1244}, "SNMP timeout:"},
                                        {O, "L_4", {1245}, "Serial timeout:"},
                                        {O, "L_9", {1251}, "GPRS polling interval:"},
                                        {O, "L_11", {1602}, "GPRS timeout:"},
                                        {O, "L_5", {1246, 1247}, "ms"},
                                        {C, "T_1", {1248, 1249, 1601, 1603}, "seconds"},
                                        {C, "T_6", {1}, "&OK"},
                                        {C, "T_7", {2}, "&Cancel"}};
constexpr LocaliserRow kEmail[] = {{O, "Title", {}, "User List"},
                                   {O, "L_1", {1600}, "User List:"},
                                   {O, "B_1", {1104}, "SMTP..."},
                                   {O, "B_2", {102}, "&Add..."},
                                   {O, "B_3", {103}, "&Edit..."},
                                   {O, "B_4", {104}, "&Delete"}};
constexpr LocaliserRow kEditEmail[] = {{O, "Title", {}, "Edit e-mail"},
                                       {O, "L_1", {1600}, "e-mail Account:"},
                                       {C, "T_6", {1}, "&OK"},
                                       {C, "T_7", {2}, "&Cancel"}};
constexpr LocaliserRow kSMTP[] = {{O, "Title", {}, "SMTP"},
                                  {O, "L_1", {1600}, "SMTP Server: (e.g. mail.example.com)"},
                                  {O, "L_2", {1243}, "Sender: (e.g. ups@example.com)"},
                                  {O, "L_3", {1244}, "Password:"},
                                  {C, "T_6", {1}, "&OK"},
                                  {C, "T_7", {2}, "&Cancel"}};
constexpr LocaliserRow kBroadSetup[] = {{O, "Title", {}, "Host List"},
                                        {O, "L_1", {1600}, "Host Name:"},
                                        {O, "C_1", {1174}, "Domain Broadcast"},
                                        {O, "B_1", {102}, "&Add..."},
                                        {O, "B_2", {103}, "&Edit..."},
                                        {O, "B_3", {104}, "&Delete"}};
constexpr LocaliserRow kBroadEdit[] = {{O, "Title", {}, "Edit Host Name"},
                                       {O, "L_1", {1600}, "Host Name:"},
                                       {C, "T_6", {1}, "&OK"},
                                       {C, "T_7", {2}, "&Cancel"}};
constexpr LocaliserRow kSMS[] = {{O, "Title", {}, "SMS"},
                                 {O, "L_1", {1600}, "GSM Modem"},
                                 {O, "L_2", {1243}, "COM Port:"},
                                 {O, "L_3", {1244}, "Baud Rate:"},
                                 {O, "L_4", {1245}, "Mobile Phone List:"},
                                 {O, "B_1", {102}, "&Add..."},
                                 {O, "B_2", {103}, "&Edit..."},
                                 {O, "B_3", {104}, "&Delete"}};
constexpr LocaliserRow kSMSEdit[] = {{O, "Title", {}, "SMS Edit"},
                                     {O, "L_1", {1600}, "Mobile Phone:"},
                                     {C, "T_6", {1}, "&OK"},
                                     {C, "T_7", {2}, "&Cancel"}};
constexpr LocaliserRow kAlarmManage[] = {{O, "Title", {}, "Alarm Management"},
                                         {O, "L_1", {1600}, "Alarm Level"},
                                         {O, "L_2", {1243}, "Maximum Storage Entries:"},
                                         {O, "L_3", {1244}, "Power Event:"},
                                         {O, "L_4", {1245}, "Reactions:"},
                                         {O, "L_5", {1246}, "secs"},
                                         {O, "R_1", {10}, "Serious"},
                                         {O, "R_2", {11}, "Warning"},
                                         {O, "R_3", {12}, "Information"},
                                         {O, "C_1", {1076}, "Play audio files in"},
                                         {O, "C_2", {1077}, "Broadcast network message to the"},
                                         {O, "C_3", {1078}, "Send e-mail to the"},
                                         {O, "C_4", {1079}, "Send short message (SMS) to the"},
                                         {TextSource::kCombo, "CB_1", {}, ""},
                                         {TextSource::kCombo, "CB_2", {}, ""},
                                         {O, "B_1", {1175}, "&Update"},
                                         {O, "B_2", {1179}, "&hosts..."},
                                         {O, "B_3", {1177}, "&receivers..."},
                                         {O, "B_4", {1180}, "&phones ..."},
                                         {O, "B_5", {1176}, "U&pdate"},
                                         {O, "B_6", {1313}, ""}};  // the template holds no 1313
constexpr LocaliserRow kAbout[] = {{O, "Title", {}, "About"},
                                   {O, "L_1", {1600}, "Central Monitoring and Control System"},
                                   {C, "T_6", {1}, "&OK"}};
constexpr LocaliserRow kLanguage[] = {
    {O, "Title", {}, "Language Selection"}, {O, "B_1", {1}, "&OK"}, {O, "B_2", {2}, "&Cancel"}};
constexpr LocaliserRow kControl[] = {
    {O, "Title", {}, "UPS Control"},
    {O, "L_1", {1600}, "Only UPSs that accept commands over their link can be controlled from here."},
    {O, "L_2", {1243}, "Test Commands"},
    {O, "L_3", {1244}, "Buzzer Commands"},
    {O, "L_4", {1245}, "Shutdown Commands"},
    {C, "T_2", {1246}, "minute(s)"},
    {C, "T_1", {1247}, "second(s)"},
    {O, "L_7", {1248, 1249, 1251}, "minute(s)"},
    {O, "L_10", {1601}, "And Restart UPS in"},
    {O, "R_1", {1611}, "General Test"},
    {O, "R_2", {1612}, "Deep Battery Test"},
    {O, "R_3", {1613}, "Test Battery for"},
    {O, "R_4", {1614}, "Cancel Test"},
    {O, "R_5", {1615}, "Enable UPS Buzzer"},
    {O, "R_6", {1616}, "Disable UPS Buzzer"},
    {O, "R_7", {1617}, "Buzzer Test in"},
    {O, "R_8", {1618, 1619}, "Turn Off UPS in"},
    {O, "R_10", {1620}, "Cancel Shutdown UPS"},
    {O, "R_11", {1621}, "Emergency Power Off"},
    {O, "C_1", {1610}, "Enable Password Protection"},
    {O, "B_1", {1046}, "Set to the &Selected UPS"},
    {O, "B_2", {1047}, "Set to the UPSs in this &Layer"},
    {O, "B_3", {1048}, "Set to &All of the UPSs"}};
constexpr LocaliserRow kSNMPPassword[] = {{O, "Title", {}, "FTP Login Authentication"},
                                          {O, "L_1", {1600}, "Account: (8 bytes maximum)"},
                                          {O, "L_2", {1243}, "Password: (8 bytes maximum)"},
                                          {O, "B_1", {1}, "OK"},
                                          {O, "B_2", {2}, "Cancel"}};
constexpr LocaliserRow kSNMPConfig[] = {
    {O, "Title", {}, "SNMP Device Batch Configuration"},
    {O, "L_1", {1600}, "Source SNMP Device List:"},
    {O, "L_2", {1243}, "Dest. SNMP Device List:"},
    {O, "L_3", {1244}, "FTP transfers need card firmware 1.14 or later."},
    {O, "C_1", {1610}, "Enable Password Protection"},
    {O, "B_1", {1254}, "&Download System Configuration File"},
    {O, "B_2", {1258}, "&Upload System Configuration File"},
    {O, "B_3", {1255}, "Download &SNMP Configuration File"},
    {O, "B_4", {1260}, "Upload SNMP &Configuration File"},
    {O, "B_5", {1257, 1261}, "Save"}};
// ---- passwords, login, accounts ----
constexpr LocaliserRow kControlPassword[] = {{O, "Title", {}, "Password Setup"},
                                             {O, "L_1", {1600}, "Password"},
                                             {O, "L_2", {1243}, "Old Password: (16 bytes maximum)"},
                                             {O, "L_3", {1244}, "New Password: (16 bytes maximum)"},
                                             {O, "L_4", {1245}, "New Password Again: (16 bytes maximum)"},
                                             {C, "T_6", {1}, "OK"},
                                             {C, "T_7", {2}, "Cancel"}};
constexpr LocaliserRow kDatabasePassword[] = {{O, "Title", {}, "Password Change"},
                                              {O, "L_1", {1600}, "New Password: (16 bytes maximum)"},
                                              {O, "L_2", {1243}, "New Password Again: (16 bytes maximum)"},
                                              {C, "T_6", {1}, "OK"},
                                              {C, "T_7", {2}, "Cancel"}};
constexpr LocaliserRow kLogin[] = {{O, "Title", {}, "Login"},
                                   {O, "L_1", {1600}, "Password: (16 bytes max.)"},
                                   {O, "L_2", {1243}, "Account:"},
                                   {C, "T_6", {1}, "&OK"},
                                   {C, "T_7", {2}, "&Cancel"}};
// The control-password form: no account label in its template.
constexpr LocaliserRow kLoginControl[] = {{O, "Title", {}, "Login"},
                                          {O, "L_1", {1600}, "Password: (16 bytes maximum)"},
                                          {O, "L_2", {1243}, nullptr},
                                          {C, "T_6", {1}, "&OK"},
                                          {C, "T_7", {2}, "&Cancel"}};
constexpr LocaliserRow kLogout[] = {{O, "Title", {}, "Logout"}};
constexpr LocaliserRow kListTabSelection[] = {{O, "Title", {}, "List/Tab Selection"},
                                              {O, "L_1", {1600}, "List Items"},
                                              {O, "L_2", {1243}, "Item1:"},
                                              {O, "L_3", {1244}, "Item2:"},
                                              {O, "L_4", {1245}, "Item3:"},
                                              {O, "L_5", {1246}, "Item4:"},
                                              {O, "L_6", {1247}, "Item5:"},
                                              {O, "L_7", {1248}, "Item6:"},
                                              {O, "L_8", {1249}, "Item7:"},
                                              {O, "L_9", {1251}, "Item8:"},
                                              {O, "L_10", {1601}, "Item9:"},
                                              {O, "L_11", {1602}, "Item10:"},
                                              {O, "L_12", {1603}, "Alarm Level"},
                                              {O, "L_13", {1252}, "Tab Enable"},
                                              {T, "Tab1.Title", {1270}, "Summary"},
                                              {T, "Tab2.Title", {1271}, "Diagram"},
                                              {T, "Tab3.Title", {1272}, "Module"},
                                              {T, "Tab4.Title", {1273}, "Schedule"},
                                              {T, "Tab5.Title", {1274}, "Configuration"},
                                              {T, "Tab6.Title", {1275}, "Dry Contact"},
                                              {C, "T_6", {1}, "&OK"},
                                              {C, "T_7", {2}, "&Cancel"}};
// ---- logs, history, database ----
constexpr LocaliserRow kEventLog[] = {{O, "Title", {}, "Event Log"},
                                      {O, "L_1", {1600}, "Source:"},
                                      {O, "L_2", {1243}, "Date from"},
                                      {O, "L_3", {1244}, "to"},
                                      {O, "B_1", {1127}, "&Query"},
                                      {O, "B_2", {1015}, "&Save As..."}};
constexpr LocaliserRow kParaManage[] = {{O, "Title", {}, "Historical Data Management"},
                                        {O, "L_1", {1600}, "Period of Save Historical Parameters:"},
                                        {C, "T_1", {1243}, "seconds"},
                                        {O, "L_3", {1244}, "Storage of Historical Parameters:"},
                                        {C, "T_5", {1245}, "months"},
                                        {C, "T_6", {1}, "OK"},
                                        {C, "T_7", {2}, "Cancel"}};
constexpr LocaliserRow kStopAll[] = {{O, "Title", {}, "Stop All"}};
constexpr LocaliserRow kBackupPlan[] = {{O, "Title", {}, "Database Backup Plan"},
                                        {O, "L_1", {1600}, "UPS Event Log"},
                                        {O, "L_2", {1243, 1247, 1601}, "Keep the data in"},
                                        {O, "L_3", {1244, 1248, 1602}, "months"},
                                        {O, "L_4", {1245, 1249, 1603}, "Backup Directory:"},
                                        {O, "L_5", {1246}, "Operation Event Log"},
                                        {O, "L_9", {1251}, "Historical Parameters"},
                                        {C, "T_6", {1}, "&OK"},
                                        {C, "T_7", {2}, "&Cancel"},
                                        {O, "C_1", {1198, 1200, 1202}, "Delete the backup data from database"}};
constexpr LocaliserRow kAccessManagement[] = {{O, "Title", {}, "Access Management"},
                                              {O, "L_1", {1600}, "Account Management"},
                                              {O, "L_2", {1243}, "Account:"},
                                              {O, "L_3", {1244}, "Real Name:"},
                                              {O, "L_4", {1245}, "Password:"},
                                              {O, "L_5", {1246}, "Type:"},
                                              {O, "L_6", {1247}, "Remark:"},
                                              {O, "B_1", {102}, "&Add Account"},
                                              {O, "B_2", {1109}, "&Delete Account"},
                                              {O, "B_3", {103}, "&Modify Password"}};
// ---- connection and configuration files ----
constexpr LocaliserRow kConnToServ[] = {{O, "Title", {}, "Connection"},
                                        {O, "L_1", {1600}, " Server IP "},
                                        {O, "L_2", {1243}, "IP List:"},
                                        {O, "L_3", {1244}, "IP:"},
                                        {O, "L_4", {1245}, "Enable"},
                                        {O, "L_5", {1246}, " Auto Connection "},
                                        {O, "B_1", {1278}, "Auto-Search"},
                                        {O, "B_2", {1288}, "Connect"},
                                        {O, "B_3", {1}, "OK"},
                                        {O, "B_4", {2}, "Cancel"}};
constexpr LocaliserRow kAutoLoadConfig[] = {{O, "Title", {}, "Auto-Load Configuration"},
                                            {O, "L_1", {1600}, "Running Config"},
                                            {O, "L_2", {1243}, "System:"},
                                            {O, "L_3", {1244}, "UPS:"},
                                            {O, "B_1", {1}, "Reload"},
                                            {O, "B_2", {2}, "Cancel"}};
constexpr LocaliserRow kOpenUMF[] = {{O, "Title", {}, "Open UMF"},
                                     {O, "L_1", {1600}, "Current Setting"},
                                     {O, "L_2", {1243}, "UMF List:"},
                                     {O, "B_1", {1}, "Open"},
                                     {O, "B_2", {2}, "Cancel"}};
constexpr LocaliserRow kAutoLoadUMF[] = {{O, "Title", {}, "Auto-Load UMF"},
                                         {O, "L_1", {1600}, "Current Setting"},
                                         {O, "L_2", {1243}, "UMF List:"},
                                         {O, "L_3", {1244}, "Startup UMF:"},
                                         {O, "B_1", {1}, "OK"},
                                         {O, "B_2", {2}, "Cancel"}};
constexpr LocaliserRow kSaveUMF[] = {{O, "Title", {}, "Save"},
                                     {O, "L_1", {1600}, "File Name"},
                                     {O, "B_1", {1}, "OK"},
                                     {O, "B_2", {2}, "Cancel"}};
constexpr LocaliserRow kNewUMF[] = {{O, "Title", {}, "New UMF"},
                                    {O, "L_1", {1600}, "File Name"},
                                    {O, "B_1", {1}, "OK"},
                                    {O, "B_2", {2}, "Cancel"}};
constexpr LocaliserRow kSaveSerial[] = {{O, "Title", {}, "Save Serial"},
                                        {O, "L_1", {1600}, "COM Port:"},
                                        {O, "L_2", {1243}, "Period:"},
                                        {O, "L_3", {1244}, "(min)"},
                                        {O, "L_4", {1245}, "Stop Action"},
                                        {O, "B_1", {1}, "OK"},
                                        {O, "B_2", {2}, "Cancel"}};
// The same localiser; its template holds only a progress bar.
constexpr LocaliserRow kSaveNetwork[] = {{O, "Title", {}, "Save Network"},
                                         {O, "L_1", {1600}, nullptr},
                                         {O, "L_2", {1243}, nullptr},
                                         {O, "L_3", {1244}, nullptr},
                                         {O, "L_4", {1245}, nullptr},
                                         {O, "B_1", {1}, nullptr},
                                         {O, "B_2", {2}, nullptr}};
// ---- notification ----
constexpr LocaliserRow kContactor[] = {{O, "Title", {}, "Contactor"},
                                       {O, "L_1", {1600}, "Information"},
                                       {O, "L_2", {1243}, "Name:"},
                                       {O, "L_3", {1244}, "e-mail"},
                                       {O, "L_4", {1245}, "Mobile Phone:"},
                                       {O, "L_5", {1246}, "Remark:"},
                                       {O, "B_1", {102}, "&Add"},
                                       {O, "B_2", {1109}, "&Delete"},
                                       {O, "B_3", {103}, "&Modify"},
                                       {O, "B_4", {1015}, "&Save"}};
constexpr LocaliserRow kNotifyByService[] = {{O, "Title", {}, "Notify By Service"},
                                             {O, "L_1", {1600}, "Information"},
                                             {O, "L_2", {1243}, "User List:"},
                                             {O, "L_3", {1244}, "Selected Object:"},
                                             {O, "L_4", {1245}, "Rest Object:"},
                                             {O, "B_1", {102}, "<< Add"},
                                             {O, "B_2", {103}, "Remove >>"},
                                             {O, "B_3", {1015}, "&Save"}};
constexpr LocaliserRow kNotifyByMonitor[] = {{O, "Title", {}, "Notify By Monitor"},
                                             {O, "L_1", {1600}, "Information"},
                                             {O, "L_2", {1243}, "User List:"},
                                             {O, "L_3", {1244}, "Selected Object:"},
                                             {O, "L_4", {1245}, "Rest Object:"},
                                             {O, "L_5", {1246}, " GSM Modem "},
                                             {O, "L_6", {1247}, "COM Port:"},
                                             {O, "L_7", {1248}, "Baud Rate:"},
                                             {O, "B_1", {102}, "<< Add"},
                                             {O, "B_2", {103}, "Remove >>"},
                                             {O, "B_3", {1015}, "&Save"}};
constexpr LocaliserRow kSyncImages[] = {{O, "Title", {}, "Sync Images"}};
// ---- tab pages ----
constexpr LocaliserRow kScheduleTab[] = {{O, "L_1", {1600}, "Next Schedule"},
                                         {O, "L_2", {1243}, "Weekly"},
                                         {O, "L_3", {1244}, "Specific Date"},
                                         {O, "B_1", {1083, 1089}, "Add"},
                                         {O, "B_2", {1086, 1090}, "Modify"},
                                         {O, "B_3", {1087, 1091}, "Delete"},
                                         {O, "B_4", {1088, 1092}, "Update"},
                                         {O, "B_5", {1047}, "Apply to the UPSs in this &Layer"},
                                         {O, "B_6", {1048}, "Apply to &All of the UPSs"}};
constexpr LocaliserRow kConfigTab[] = {{O, "L_1", {1136}, "Voltage Sensitivity:"},
                                       {O, "L_2", {1137}, "Economic Mode:"},
                                       {O, "L_3", {1138}, "Atuo-Test:"},
                                       {O, "L_4", {1141}, "AC Fail, Auto-Reboot:"},
                                       {O, "L_5", {1142}, "Boot Delay:"},
                                       {C, "T_1", {1143}, "seconds"},
                                       {O, "L_7", {1146}, "External Battery Pack:"},
                                       {O, "L_8", {1222}, "Input Transfer Voltage"},
                                       {O, "L_9", {1134, 1140}, "High Voltage:"},
                                       {O, "L_10", {1135, 1139}, "Low Voltage:"},
                                       {O, "L_11", {1223, 1221}, "Bypass Transfer Voltage"},
                                       {O, "L_12", {1220}, "Bypass Transfer Frequency"},
                                       {O, "L_13", {1148, 1147}, "Tolerance:"},
                                       {O, "L_14", {1270}, "Battery Test"},
                                       {O, "L_15", {1271}, "Test Time:"},
                                       {O, "L_16", {1272}, "Battery Voltage:"},
                                       {C, "T_4", {1273}, "min"},
                                       {O, "C_1", {1217}, "Synchronize Date and Time"},
                                       {O, "B_1", {1}, "&Submit"},
                                       {O, "B_2", {2}, "&Refresh"}};
constexpr LocaliserRow kDryContactTab[] = {
    {O, "L_1", {1224}, "Output Contacts"},
    {O, "L_2", {1226, 1235}, "Associated UPS Event"},
    {O, "L_3", {1227, 1236}, "Dry-Contact Action"},
    {O, "L_4", {1228, 1237}, "Active"},
    {O, "L_5", {1225}, "Intput Contacts"},
    {TextSource::kDigits, "L_6", {1229, 1230, 1231, 1232, 1233, 1234, 1238, 1239}, "Contact ", "12345612"},
    {O, "C_1", {1140, 1141, 1142, 1143, 1144, 1145, 1146, 1147}, "Inactive"},
    {O, "B_1", {1}, "&Submit"},
    {O, "B_2", {2}, "&Refresh"}};

constexpr LocaliserEntry kTable[] = {
    {153, "Add Object", "Dialog-AddObject", "AddObjectDlgTexts", kAddObject, "Title"},
    {154, "Cut Object", "Dialog-CutObject", "CutObjectDlgTexts", kCutObject, "Title"},
    {155, "Paste Object", "Dialog-PasteObject", "PasteObjectDlgTexts", kPasteObject, "Title"},
    {156, "Remove Object", "Dialog-RemoveObject", "RemoveObjectDlgTexts", kRemoveObject, "Title"},
    {157, "Remove All Object", "Dialog-RemoveAllObject", "RemoveAllObjectDlgTexts", kRemoveAllObject, "Title"},
    {249, "Property - Group", "Dialog-ProGroup", "ProGroupDlgTexts", kProGroup, "Title"},
    {106, "Property - SNMP", "Dialog-ProSNMP", "ProSNMPDlgTexts", kProSNMP, "Title"},
    {250, "Property - Local", "Dialog-ProLocal", "ProLocalDlgTexts", kProLocal, "Title"},
    {167, "Property - GPRS", "Dialog-ProGPRS", "ProGPRSDlgTexts", kProGPRS, "Title"},
    {166, "Alarm Mask", "Dialog-AlarmMask", "AlarmMaskDlgTexts", kAlarmMask, nullptr},
    {168, "Alarm Mask", "Dialog-AlarmMask", "AlarmMaskDlgTexts", kAlarmMask, nullptr},
    {108, "Background", "Dialog-Background", "BackgroundDlgTexts", kBackground, "Title"},
    {109, "Connection", "Dialog-Connection", "ConnectionDlgTexts", kConnection, "Title"},
    {178, "User List", "Dialog-EMAIL", "EmailDlgTexts", kEmail, nullptr},
    {179, "Edit e-mail", "Dialog-EditEMAIL", "EditEmailDlgTexts", kEditEmail, nullptr},
    {229, "SMTP", "Dialog-SMTP", "SMTPDlgTexts", kSMTP, "Title"},
    {230, "Host List", "Dialog-BroadSetup", "BroadSetupDlgTexts", kBroadSetup, nullptr},
    {227, "Edit Host Name", "Dialog-BroadEdit", "BroadEditDlgTexts", kBroadEdit, nullptr},
    {114, "SMS", "Dialog-SMS", "SMSDlgTexts", kSMS, nullptr},
    {115, "SMS Edit", "Dialog-SMSEdit", "SMSEditDlgTexts", kSMSEdit, nullptr},
    {193, "Alarm Management", "Dialog-AlarmManage", "AlarmManageDlgTexts", kAlarmManage, "Title"},
    {110, "About", "Dialog-About", "AboutDlgTexts", kAbout, nullptr},
    {253, "Language Selection", "Dialog-Language", "LanguageDlgTexts", kLanguage, "Title"},
    {244, "UPS Control", "Dialog-Control", "ControlDlgTexts", kControl, "Title"},
    {255, "FTP Login Authentication", "Dialog-SNMPPassword", "SNMPPasswordDlgTexts", kSNMPPassword, nullptr},
    {254, "SNMP Device Batch Configuration", "Dialog-SNMPConfig", "SNMPConfigDlgTexts", kSNMPConfig, "Title"},
    {237, "Password Setup", "Dialog-ControlPasswprd", "ControlPasswordDlgTexts", kControlPassword, "Title"},
    {247, "Password Change", "Dialog-DatabasePassword", "DatabasePasswordDlgTexts", kDatabasePassword, "Title"},
    {246, "Login", "Dialog-LoginControl", "LoginControlDlgTexts", kLogin, "Title"},
    {238, "Login", "Dialog-LoginControl", "LoginControlDlgTexts", kLoginControl, "Title"},
    {160, "Logout", "Dialog-LogoutDatabase", "LogoutDatabaseDlgTexts", kLogout, "Title"},
    {239, "List/Tab Selection", "Dialog-ListTabSelection", "ListTabSelectionDlgTexts", kListTabSelection, nullptr},
    {240, "Event Log", "Dialog-EventLog", "EventLogDlgTexts", kEventLog, "Title"},
    {241, "Historical Data Management", "Dialog-ParaManage", "ParaManageDlgTexts", kParaManage, "Title"},
    {159, "Stop All", "Dialog-StopAll", "StopAllDlgTexts", kStopAll, "Title"},
    {248, "Database Backup Plan", "Dialog-Backup Plan", "BackupPlanDlgTexts", kBackupPlan, "Title"},
    {141, "Access Management", "Dialog-Access Management", "AccessManagementDlgTexts", kAccessManagement, "Title"},
    {146, "Connection", "Dialog-ConnToServ", "ConnToServDlgTexts", kConnToServ, "Title"},
    {149, "Auto-Load Configuration", "Dialog-AutoLoadConfig", "AutoLoadConfigDlgTexts", kAutoLoadConfig, "Title"},
    {150, "Open UMF", "Dialog-OpenUMF", "OpenUMFDlgTexts", kOpenUMF, "Title"},
    {164, "Auto-Load UMF", "Dialog-AutoLoadUMF", "AutoLoadUMFDlgTexts", kAutoLoadUMF, "Title"},
    {151, "Save", "Dialog-SaveUMF", "SaveUMFDlgTexts", kSaveUMF, "Title"},
    {152, "New UMF", "Dialog-NewUMF", "NewUMFDlgTexts", kNewUMF, "Title"},
    {165, "Save Serial", "Dialog-SetSavePolling", "SetSavePollingDlgTexts", kSaveSerial, "Title"},
    {162, "Save Network", "Dialog-SetSavePolling", "SetSavePollingDlgTexts", kSaveNetwork, "Title"},
    {257, "Contactor", "Dialog-Contactor", "ContactorDlgTexts", kContactor, "Title"},
    {258, "Notify By Service", "Dialog-NotifyByService", "NotifyByServiceDlgTexts", kNotifyByService, "Title"},
    {259, "Notify By Monitor", "Dialog-NotifyByMonitor", "NotifyByMonitorDlgTexts", kNotifyByMonitor, "Title"},
    {163, "Sync Images", "Dialog-SyncImages", "SyncImagesDlgTexts", kSyncImages, "Title"},
    {256, "", "Dialog-TabSchedule", "ScheduleTabDlgTexts", kScheduleTab, nullptr},
    {251, "", "Dialog-TabConfig", "ConfigTabDlgTexts", kConfigTab, "L_1"},
    {252, "", "Dialog-TabDryContact", "DryContactTabDlgTexts", kDryContactTab, "L_1"},
    // Localised by the shell, or only MSG keys.
    {235, "Generate Report", "Dialog-Generate Report", "GenerateReportDlgTexts", {}, "Title"},
    {245, "Database", "Dialog-Database", "DatabaseDlgTexts", {}, "Title"},
    {234, "PLC", "Dialog-PLC", "", {}, nullptr},
    {195, "UPS Log", "Dialog-UPS Event Log", "", {}, nullptr},
};

// 179 shares its caption with the list page when its own section has none.
constexpr const char* kEditEmailCaptionSection = "Dialog-EMAIL";

std::string ReadKey(const Profile& lang, const char* section, const char* key, size_t max) {
  return std::string(CutUtf8(lang.getString(section, key, "", 1024), max));
}

size_t IdCount(const LocaliserRow& row) {
  size_t n = 0;
  while (n < row.ids.size() && row.ids[n] != 0) ++n;
  return n;
}

void SetOn(QWidget* dialog, int id, const std::string& text) {
  if (QWidget* c = FindControl(dialog, id)) SetControlText(c, text);
}

}  // namespace

std::span<const LocaliserEntry> LocaliserTable() { return kTable; }

const LocaliserEntry* FindLocaliser(int resource) {
  for (const LocaliserEntry& e : kTable)
    if (e.resource == resource) return &e;
  return nullptr;
}

std::string EnglishText(int resource, int id) {
  const LocaliserEntry* e = FindLocaliser(resource);
  if (!e) return "";
  if (id == 0) return e->caption;
  for (const LocaliserRow& row : e->rows)
    for (size_t i = 0; i < IdCount(row); ++i)
      if (row.ids[i] == id && row.english) {
        std::string s = row.english;
        if (row.digits) s += row.digits[i];
        return s;
      }
  return "";
}

LocalisedTexts Localise(QWidget* dialog, int resource, const Profile& lang, const LanguageTexts& common) {
  LocalisedTexts out;
  const LocaliserEntry* e = FindLocaliser(resource);
  if (!e) return out;
  // The shell's own localisers.
  if (resource == 235 || resource == 245) {
    (resource == 235 ? GenerateReportDlgTexts : DatabaseDlgTexts)(dialog, lang, &out.prefix);
    out.prefixSet = !out.prefix.empty();
    return out;
  }
  for (const LocaliserRow& row : e->rows) {
    const std::string_view key = row.key;
    const bool isTitle = key == "Title";
    std::string text;
    switch (row.source) {
      case TextSource::kOwn:
        text = ReadKey(lang, e->section, row.key, kDialogTextMax);
        if (text.empty() && resource == 179 && isTitle) text = ReadKey(lang, kEditEmailCaptionSection, row.key, kDialogTextMax);
        break;
      case TextSource::kCommon: {
        const int n = std::atoi(row.key + 2);
        // The common table may lack the text: the template text stays then.
        if (n >= 1 && n <= kCommonTextCount && common.common[n - 1]) text = *common.common[n - 1];
        break;
      }
      case TextSource::kTab:
        text = ReadKey(lang, "Tab", row.key, kDialogTextMax);
        break;
      case TextSource::kDigits:
        text = ReadKey(lang, e->section, row.key, kContactLabelMax);
        break;
      case TextSource::kCombo:
        text = ReadKey(lang, e->section, row.key, kComboEntryMax);
        if (!text.empty()) out.combo[key == "CB_1" ? 0 : 1] = text;
        continue;
    }
    if (text.empty()) continue;
    if (isTitle) dialog->setWindowTitle(QString::fromStdString(text));
    for (size_t i = 0; i < IdCount(row); ++i)
      SetOn(dialog, row.ids[i], row.digits ? text + row.digits[i] : text);
    if (e->prefixKey && key == e->prefixKey) {
      out.prefix = text;
      out.prefixSet = true;
    }
  }
  return out;
}

}  // namespace lark
