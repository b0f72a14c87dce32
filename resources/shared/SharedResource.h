// Resource identifiers of the dialogs both programs share.
#pragma once

// The one-line text prompt.
#define IDD_TEXT_PROMPT 133
#define IDC_TEXT_EDIT 1010

// The transfer job's progress dialog; its title names the job.
#define IDD_TRANSFER_PROGRESS 131
#define IDC_TRANSFER_NAME 1034
#define IDC_TRANSFER_PROGRESS 1005
#define IDC_TRANSFER_COUNT 1006

// The replace prompt (its icon is IDC_ITEM_ICON).
#define IDD_ASK_REPLACE 132
#define IDC_REPLACE_MESSAGE 1039
#define IDC_REPLACE_SERVER_LABEL 1037
#define IDC_REPLACE_SERVER_TEXT 1035
#define IDC_REPLACE_LOCAL_LABEL 1038
#define IDC_REPLACE_LOCAL_TEXT 1036
// Shown only when the item can be resumed instead of replaced.
#define IDC_REPLACE_RESUME 1205

// The icon static of the replace prompt and the properties dialog.
#define IDC_ITEM_ICON 1018

// The Site Manager.
#define IDD_SITE_MANAGER 135
#define IDC_SITE_TREE 1054
#define IDC_SITE_CONNECT 1011
#define IDC_SITE_NEW 1012
#define IDC_SITE_EDIT 1013
#define IDC_SITE_DELETE 1014
// The commands of the New button's pop-up menu.
#define ID_SITE_NEW_GROUP 32901
#define ID_SITE_NEW_SITE 32902

// Icons of the Site Manager's tree: a group and a site.
#define IDI_SITE_GROUP 145
#define IDI_SITE_SITE 146

// Site Properties.
#define IDD_SITE_PROPERTIES 136
#define IDC_SITE_LABEL 1010
#define IDC_SITE_HOST 1004
#define IDC_SITE_PORT 1005
#define IDC_SITE_PASSIVE 1016
#define IDC_SITE_PROXY 1021
#define IDC_SITE_LOGIN 1006
#define IDC_SITE_PASSWORD 1007
#define IDC_SITE_ANONYMOUS 1017
#define IDC_SITE_TIMEOUT 1011
#define IDC_SITE_DIRECTORY 1012
#define IDC_SITE_KEEP_ALIVE 1053
#define IDC_SITE_PARENT 1055
#define IDC_SITE_ENCRYPTION 1200
// The TLS version and cipher of the connection to the site; empty unless the site is the
// one connected.
#define IDC_SITE_CONNECTION 1201
#define IDC_SITE_CHARSET 1203
#define IDC_SITE_MLSD 1204

// The firewall (proxy) settings.
#define IDD_PROXY 138
#define IDC_PROXY_MODE 1040
#define IDC_PROXY_HOST 1010
#define IDC_PROXY_PORT 1005
#define IDC_PROXY_USER 1011
#define IDC_PROXY_PASSWORD 1006
#define IDC_PROXY_TLS_NOTE 1202

// The item properties dialog; its icon static is IDC_ITEM_ICON.
#define IDD_PROPERTIES 134
#define IDC_PROP_READ_ONLY 1010
#define IDC_PROP_HIDDEN 1011
#define IDC_PROP_SYSTEM 1012
#define IDC_PROP_NAME 1013
#define IDC_PROP_PATH 1014
#define IDC_PROP_SIZE 1015
#define IDC_PROP_ATTRIBUTES 1016
#define IDC_PROP_MODIFIED 1017
#define IDC_PROP_OWNER 1019
#define IDC_PROP_ATTRIBUTES_LABEL 1032
#define IDC_PROP_OWNER_LABEL 1033

// The permissions dialog.
#define IDD_FILE_ATTRIBUTES 137
#define IDC_ATTR_MANUAL_VALUE 1004
#define IDC_ATTR_OWNER_READ 1019
#define IDC_ATTR_OWNER_WRITE 1020
#define IDC_ATTR_OWNER_EXECUTE 1017
#define IDC_ATTR_GROUP_READ 1021
#define IDC_ATTR_GROUP_WRITE 1022
#define IDC_ATTR_GROUP_EXECUTE 1018
#define IDC_ATTR_PUBLIC_READ 1023
#define IDC_ATTR_PUBLIC_WRITE 1024
#define IDC_ATTR_PUBLIC_EXECUTE 1025

// The find tool.
#define IDD_FIND 139
#define IDC_FIND_RESULTS 1002
#define IDC_FIND_DELETE 1014
#define IDC_FIND_COPY 1015
#define IDC_FIND_GOTO 1016
#define IDC_FIND_TEXT 1018
#define IDC_FIND_FIND 1019
#define IDC_FIND_MATCH_CASE 1020
#define IDC_FIND_WHOLE_WORD 1021
#define IDC_FIND_SUBDIRECTORIES 1023
#define IDC_FIND_STATUS 1052

// The questions of a logon over TLS: a server without it (plain FTP), and a certificate
// that no trusted root vouches for. The warning icon is set when they open.
#define IDD_PLAIN_FTP 160
#define IDD_CERTIFICATE 161
#define IDC_TLS_WARNING_ICON 1250
#define IDC_PLAIN_QUESTION 1251
#define IDC_PLAIN_ALWAYS 1252
#define IDC_CERT_MESSAGE 1253
#define IDC_CERT_REASON 1254
#define IDC_CERT_SUBJECT 1255
#define IDC_CERT_ISSUER 1256
#define IDC_CERT_VALID_FROM 1257
#define IDC_CERT_VALID_TO 1258
#define IDC_CERT_FINGERPRINT 1259
#define IDC_CERT_TRUST_ALWAYS 1260
#define IDC_CERT_THIS_TIME 1261
