// Ids of the string table. 101 to 124 are the fixed texts of the dialog's labels, title, port
// messages and the job's log lines; 200 and up are the messages Orvane adds where it explains a
// failure instead of ending silently.
#pragma once

namespace orvane {

enum TextId : int {
    IDS_ABOUTBOX = 101,
    IDS_START = 102,
    IDS_PORT_LABEL = 103,
    IDS_BPS_LABEL = 104,
    IDS_PORT_OPEN = 105,
    IDS_PORT_CLOSE = 106,
    IDS_SELECT_FILE = 107,
    IDS_UPDATE_MAIN = 108,
    IDS_TITLE = 109,
    IDS_CHINESE = 110,
    IDS_ENGLISH = 111,
    IDS_SEND_COMMAND_OK = 112,
    IDS_PROGRESS = 113,
    IDS_UPDATE_OK = 114,
    IDS_OPEN_OK = 115,
    IDS_OPEN_FAIL = 116,
    IDS_CLOSE_OK = 117,
    IDS_CLOSE_FAIL = 118,
    IDS_ADDRESS_LABEL = 119,
    IDS_UPBPS_LABEL = 120,
    IDS_UPDATE_FAIL = 121,
    IDS_PLEASE_SELECT_FILE = 122,
    IDS_UPDATE_MOTOR = 123,
    IDS_UPDATE_SPECIAL = 124,

    // Orvane's own messages. "{0}", "{1}" ... are filled by fillText.
    IDS_IMAGE_UNREADABLE = 201,  // {0} path, {1} reason
    IDS_IMAGE_TOO_LARGE = 202,   // {0} path, {1} length
    IDS_PORT_OPEN_FAILED = 204,  // {0} port, {1} reason
    IDS_PORT_PERMISSION = 205,   // {0} port, {1} group
    IDS_PORT_CLOSE_FAILED = 206, // {0} reason
    IDS_JOB_BUSY = 207,
    IDS_JOB_CANCELLED = 208,
    IDS_FILE_UNREADABLE = 209, // {0} path, {1} reason
    IDS_FILE_UNWRITABLE = 210, // {0} path, {1} reason
    IDS_HEX_INVALID = 211,     // {0} file, {1} line, {2} what is wrong
    IDS_MERGE_WRITTEN = 212,   // {0} path
    IDS_PACKAGE_WRITTEN = 213, // {0} path
    IDS_QUIT_DURING_JOB = 214,
    IDS_PACKAGE_TYPE1 = 215,
    IDS_PACKAGE_TYPE2 = 216,
    IDS_PACKAGE_TYPE3 = 217,
    IDS_LOW_LATENCY_MENU = 218,
    IDS_ADAPTER_LATENCY_HINT = 219, // {0} port, {1} ms, {2} kernel device name
    IDS_MERGE_OVERLAP = 220,        // {0} address, {1} the other file, {2} its line
    IDS_MERGE_FIXED_BYTES = 221,    // {0} address
    IDS_MERGE_SAME_FILE = 222,      // {0} boot loader, {1} application
    IDS_OUTPUT_IS_INPUT = 223,      // {0} output, {1} input
    IDS_PACKAGE_HEADER_AGAIN = 224, // {0} raw image, {1} the header it begins with

    // Why a port would not open or close.
    IDS_REASON_NO_ERROR = 230,
    IDS_REASON_PERMISSION = 231,
    IDS_REASON_PORT_BUSY = 232,
    IDS_REASON_NO_DEVICE = 233,
    IDS_REASON_NOT_A_PORT = 234,
    IDS_REASON_PORT_IO = 235,
    IDS_PORT_PERMISSION_RELOGIN = 236, // {0} port, {1} group
    IDS_PORT_PERMISSION_OWNER = 237,   // {0} port, {1} owner, {2} group, {3} mode
    IDS_REASON_SETTINGS_REFUSED = 238,

    // Why an upgrade ended: one line in the log right before "Update was failed !".
    IDS_REASON_NO_ENTER_ACK = 240,         // {0} address, {1} line speed
    IDS_REASON_NO_HEADER_REQUEST = 241,    // {0} speed
    IDS_REASON_SIZE_REFUSED = 242,         // {0} image length
    IDS_REASON_SIZE_UNANSWERED = 243,      // {0} image length
    IDS_REASON_BLOCK_UNANSWERED = 244,     // {0} block, {1} blocks
    IDS_REASON_CAMERA_ABORTED = 245,       // {0} block, {1} blocks
    IDS_REASON_BLOCK_ANSWER_UNKNOWN = 246, // {0} block, {1} blocks
    IDS_REASON_END_NOT_ACCEPTED = 247,
    IDS_REASON_DEVICE_GONE = 248,      // {0} port
    IDS_REASON_INTERNAL = 249,         // {0} what went wrong
    IDS_REASON_IMAGE_NO_MEMORY = 250,  // {0} path, {1} length
    IDS_REASON_TOO_MANY_RESENDS = 251, // {0} block, {1} blocks, {2} refusals
    IDS_RECORD_NOT_KEPT = 252,         // {0} the store's reason
    IDS_RECORDS_REQUIRED = 253,        // {0} the store's reason
    IDS_STOPPED_BY_SIGNAL = 254,       // {0} the signal's name (SIGINT, SIGTERM, SIGHUP)
    IDS_RECORD_WAITING = 255,          // {0} why the line's server was not reached

    // The unattended station (orvane-cli station).
    IDS_STATION_READY = 260,         // {0} image, {1} bytes, {2} SHA-256
    IDS_STATION_IMAGE_CHANGED = 261, // {0} image, {1} SHA-256 of what is sent
    IDS_STATION_WAITING = 262,
    IDS_STATION_FLASHING = 263, // {0} percent, {1} seconds left
    IDS_STATION_COUNTERS =
        264, // {0} succeeded, {1} not succeeded, {2} first-pass, {3} final yield ("75.0 %", "–")
    IDS_STATION_PLUGGED = 265,   // {0} slot
    IDS_STATION_UNPLUGGED = 266, // {0} slot
    IDS_STATION_STOPPED = 267,   // {0} the counters (264)
    IDS_STATION_TODAY = 268,     // {0} the counters (264) of the day's records
    IDS_STATION_RETRY = 340,     // {0} the retry (1 for a plug's second attempt), {1} retries allowed
    IDS_STATION_NO_FOLDER = 341, // {0} the watched folder

    // What the image loader refuses besides an unreadable or too large file.
    IDS_IMAGE_EMPTY = 270,       // {0} path
    IDS_IMAGE_IS_HEX = 271,      // {0} path
    IDS_IMAGE_IS_ELF = 272,      // {0} path
    IDS_IMAGE_SEND_ANYWAY = 273, // the dialog's question after 271 or 272

    // The list of approved images (lines as sha256sum writes them, an optional board).
    IDS_APPROVED_BAD_LINE = 290,     // {0} file, {1} line, {2} what is wrong
    IDS_APPROVED_NO_DIGEST = 291,    // what is wrong: no SHA-256 first
    IDS_APPROVED_NO_NAME = 292,      // what is wrong: nothing after the SHA-256
    IDS_APPROVED_BAD_TARGET = 293,   // what is wrong: {0} the word where a board belongs
    IDS_APPROVED_EMPTY = 294,        // {0} file
    IDS_APPROVED_NOT_LISTED = 295,   // {0} image, {1} SHA-256, {2} list
    IDS_APPROVED_OTHER_TARGET = 296, // {0} image, {1} SHA-256, {2} boards, {3} list, {4} line, {5} board
    IDS_APPROVED_TOO_LARGE = 297,    // {0} file
    IDS_APPROVED_NEAR_TARGET = 298,  // what is wrong: {0} the last word, close to a board's name

    // The doctor's findings: what stands in an upgrade's way on this machine, and what to do.
    IDS_DOCTOR_OK = 300,             // {0} port
    IDS_DOCTOR_NO_DEVICE = 301,      // {0} port
    IDS_DOCTOR_NOT_IN_GROUP = 302,   // {0} port, {1} group, {2} mode
    IDS_DOCTOR_RELOGIN = 303,        // {0} port, {1} group
    IDS_DOCTOR_OWNER_ONLY = 304,     // {0} port, {1} owner, {2} group, {3} mode
    IDS_DOCTOR_HELD = 305,           // {0} port, {1} program, {2} pid
    IDS_DOCTOR_HELD_BY_MM = 306,     // {0} port, {1} pid
    IDS_DOCTOR_MM_PROBES = 307,      // {0} port, {1} vid, {2} pid
    IDS_DOCTOR_BRLTTY = 308,         // {0} what shows it: running, its udev rules
    IDS_DOCTOR_BRLTTY_PORT = 309,    // {0} port
    IDS_DOCTOR_SPEED_LIMIT = 310,    // {0} port, {1} adapter, {2} speed
    IDS_DOCTOR_NO_BY_ID = 311,       // nothing
    IDS_DOCTOR_NO_PORTS = 312,       // nothing
    IDS_DOCTOR_NOT_CHECKED = 313,    // nothing
    IDS_DOCTOR_BUSY = 314,           // {0} port
    IDS_DOCTOR_BRLTTY_RUNNING = 315, // nothing: the words for {0} of 308
    IDS_DOCTOR_BRLTTY_RULES = 316,   // {0} rules file
    IDS_DOCTOR_INFO = 317,    // the label before a line that needs nothing done, its separator included
    IDS_DOCTOR_WARNING = 318, // the label of a warning
    IDS_DOCTOR_BLOCKER = 319, // the label of what stops an upgrade
    IDS_DOCTOR_BLOCKED = 320, // {0} how many stop an upgrade
    IDS_DOCTOR_CLEAR = 321,   // {0} how many warnings

    // The unit's label, from a scanner or typed, and how the station hands labels out.
    IDS_LABEL_EMPTY = 350,
    IDS_LABEL_TOO_LONG = 351,         // {0} characters, {1} the most taken
    IDS_LABEL_NOT_UTF8 = 352,         // {0} the byte's place, from 1
    IDS_LABEL_HIDDEN_CHARACTER = 353, // {0} U+XXXX, {1} the character's place, from 1
    IDS_LABEL_REFUSED = 354,          // {0} why (350 to 353)
    IDS_LABEL_READ = 355,             // {0} label
    IDS_LABEL_DROPPED = 356,          // {0} label, {1} seconds
    IDS_STATION_WAITING_LABEL = 357,
    IDS_SCANNER_LOST = 358, // {0} device, {1} why
    IDS_SCANNER_BACK = 359, // {0} device

    // A station on the line's released job (--job).
    IDS_JOB_TAKEN = 360,      // {0} job, {1} version, {2} image, {3} bytes, {4} SHA-256
    IDS_JOB_RETIRED = 361,    // {0} job
    IDS_JOB_UNANSWERED = 362, // {0} why, {1} job, {2} version held
    IDS_JOB_ANSWERED = 363,   // {0} job
    IDS_JOB_REFUSED = 364,    // {0} job, {1} why, {2} version held
    IDS_JOB_FROM_COPY = 365,  // {0} why, {1} job, {2} version, {3} the copy's folder
    IDS_STATION_WAITING_JOB = 366,

    // A station on the line's database.
    IDS_LINE_NAME_TAKEN = 390, // {0} station name, {1} its host, {2} seconds since it was heard from
    IDS_LINE_PAUSED = 391,
    IDS_LINE_RESUMED = 392,
};

} // namespace orvane
