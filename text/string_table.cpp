// The string table in both languages. Texts are stored exactly as shown, trailing spaces and
// line feeds included; the Chinese texts use full-width punctuation except the ASCII colon
// in the middle of 113.
#include "text/string_table.h"

#include <algorithm>
#include <array>

namespace orvane {
namespace {

struct Entry {
    int id;
    std::string_view english;
    std::string_view chinese;
};

constexpr std::array table{
    Entry{IDS_ABOUTBOX, "Aboat Orvane(&A)...", "关于Orvane(&A)..."},
    Entry{IDS_START, "Start", "开始"},
    Entry{IDS_PORT_LABEL, "Port:", "串口："},
    Entry{IDS_BPS_LABEL, "BPS:", "波特率："},
    Entry{IDS_PORT_OPEN, "PortOpen ", "打开串口"},
    Entry{IDS_PORT_CLOSE, "PortClose ", "关闭串口"},
    Entry{IDS_SELECT_FILE, "Select File ", "选择文件"},
    Entry{IDS_UPDATE_MAIN, "Update MainBoard\n\n", "升级主控板"},
    Entry{IDS_TITLE, "Orvane V1.1", "OrvaneV1.1"},
    Entry{IDS_CHINESE, "Chinese", "中文"},
    Entry{IDS_ENGLISH, "English", "英语"},
    Entry{IDS_SEND_COMMAND_OK, "Send Command successful !", "发送指令成功！"},
    Entry{IDS_PROGRESS, "Send updated datas  progress:", "发送更新数据:进度："},
    Entry{IDS_UPDATE_OK, "Update was successful !", "升级成功！"},
    Entry{IDS_OPEN_OK, "Serial ports open successful !", "串口打开成功！"},
    Entry{IDS_OPEN_FAIL, "Serial ports open fail !", "串口打开失败！"},
    Entry{IDS_CLOSE_OK, "Serial ports close successful !", "串口关闭成功！"},
    Entry{IDS_CLOSE_FAIL, "Serial ports close fail !", "串口关闭失败！"},
    Entry{IDS_ADDRESS_LABEL, "Address", "地址"},
    Entry{IDS_UPBPS_LABEL, "UPBPS:", "升级波特率："},
    Entry{IDS_UPDATE_FAIL, "Update was failed !", "升级失败！"},
    Entry{IDS_PLEASE_SELECT_FILE, "Please Select File !", "请选择文件！"},
    Entry{IDS_UPDATE_MOTOR, "Update MotorBoard\n\n", "升级电机板"},
    Entry{IDS_UPDATE_SPECIAL, "Update Special", "特殊烧写程序"},

    Entry{IDS_IMAGE_UNREADABLE, "Cannot read image file {0}: {1}", "无法读取镜像文件 {0}：{1}"},
    Entry{IDS_IMAGE_TOO_LARGE,
          "Image file {0} is too large ({1} bytes); at most 67107839 bytes fit the block count",
          "镜像文件 {0} 太大（{1} 字节），最多 67107839 字节"},
    Entry{IDS_PORT_OPEN_FAILED, "Cannot open serial port {0}: {1}", "无法打开串口 {0}：{1}"},
    Entry{IDS_PORT_PERMISSION,
          "Cannot open serial port {0}: permission denied. Add your user to the {1} group "
          "(sudo usermod -aG {1} $USER) and log in again.",
          "无法打开串口 {0}：权限不足。请把用户加入 {1} 组（sudo usermod -aG {1} $USER）后重新登录。"},
    Entry{IDS_PORT_CLOSE_FAILED, "Cannot close serial port: {0}", "无法关闭串口：{0}"},
    Entry{IDS_JOB_BUSY, "An upgrade is already running !", "升级正在进行中！"},
    Entry{IDS_JOB_CANCELLED, "Upgrade cancelled", "升级已取消"},
    Entry{IDS_FILE_UNREADABLE, "Cannot read {0}: {1}", "无法读取 {0}：{1}"},
    Entry{IDS_FILE_UNWRITABLE, "Cannot write {0}: {1}", "无法写入 {0}：{1}"},
    Entry{IDS_HEX_INVALID, "{0} line {1}: {2}", "{0} 第 {1} 行：{2}"},
    Entry{IDS_MERGE_WRITTEN, "Merged file written: {0}", "合并文件已写入：{0}"},
    Entry{IDS_PACKAGE_WRITTEN, "Device image written: {0}", "设备镜像已写入：{0}"},
    Entry{IDS_QUIT_DURING_JOB, "An upgrade is running.\nStop it (the camera is told to abort) and quit?",
          "正在升级。\n要停止升级（通知摄像机中止）并退出吗？"},
    Entry{IDS_PACKAGE_TYPE1, "Package device image, type &1 (ABUF1)...", "打包设备镜像，类型 &1 (ABUF1)..."},
    Entry{IDS_PACKAGE_TYPE2, "Package device image, type &2 (ABUF2)...", "打包设备镜像，类型 &2 (ABUF2)..."},
    Entry{IDS_PACKAGE_TYPE3, "Package device image, type &3 (ABUF3)...", "打包设备镜像，类型 &3 (ABUF3)..."},
    Entry{IDS_LOW_LATENCY_MENU, "&Low-latency replies", "低延迟应答(&L)"},
    Entry{
        IDS_ADAPTER_LATENCY_HINT,
        "The adapter on {0} holds each reply back up to {1} ms (its latency timer). To lower it until it is "
        "plugged in again: echo 1 | sudo tee /sys/bus/usb-serial/devices/{2}/latency_timer",
        "{0} 上的适配器把每个应答最多延迟 {1} 毫秒（其延迟计时器）。在重新插拔之前可这样降低："
        "echo 1 | sudo tee /sys/bus/usb-serial/devices/{2}/latency_timer"},
    Entry{IDS_MERGE_OVERLAP,
          "data at {0}, which line {2} of {1} holds too: the boot loader and the application overlap",
          "地址 {0} 的数据，{1} 第 {2} 行也有：引导程序与应用程序重叠"},
    Entry{IDS_MERGE_FIXED_BYTES,
          "data at {0}, where the merge puts its fixed bytes 00 06 00 A5 (0x0803CFFC to 0x0803CFFF)",
          "地址 {0} 有数据，而合并要在那里写入固定字节 00 06 00 A5（0x0803CFFC 至 0x0803CFFF）"},
    Entry{IDS_MERGE_SAME_FILE, "The boot loader {0} and the application {1} are the same file",
          "引导程序 {0} 与应用程序 {1} 是同一个文件"},
    Entry{IDS_OUTPUT_IS_INPUT, "Cannot write {0}: it is the input file {1} itself",
          "无法写入 {0}：它就是输入文件 {1}"},
    Entry{IDS_PACKAGE_HEADER_AGAIN,
          "{0} already begins with a device image header ({1}); packaged as it is, behind a second header",
          "{0} 已经以设备镜像头（{1}）开头；仍按原样打包，前面再加一个头"},

    Entry{IDS_REASON_NO_ERROR, "no error", "没有错误"},
    Entry{IDS_REASON_PERMISSION,
          "permission denied: add your user to the dialout group: sudo usermod -aG dialout $USER, then log "
          "in again",
          "权限不足：请把用户加入 dialout 组（sudo usermod -aG dialout $USER）后重新登录"},
    Entry{IDS_REASON_PORT_BUSY, "the port is in use by another program: close it there first",
          "串口正被其他程序占用：请先在那里关闭它"},
    Entry{IDS_REASON_NO_DEVICE, "no such device: check the port name and that the adapter is plugged in",
          "没有这个设备：请检查串口名称以及适配器是否已插好"},
    Entry{IDS_REASON_NOT_A_PORT, "this device is not a serial port", "这个设备不是串口"},
    Entry{IDS_REASON_PORT_IO, "input/output error: the adapter may have been unplugged",
          "输入/输出错误：适配器可能已被拔出"},
    Entry{IDS_REASON_SETTINGS_REFUSED,
          "the port's driver refused the line settings: choose a speed this adapter supports",
          "串口驱动拒绝了这些线路设置：请选择该适配器支持的波特率"},
    Entry{
        IDS_PORT_PERMISSION_RELOGIN,
        "Cannot open serial port {0}: permission denied. Your user is in the {1} group, but this login "
        "session is not yet: log in again (or start a shell with newgrp {1}).",
        "无法打开串口 {0}：权限不足。用户已在 {1} 组中，但当前登录会话尚未生效：请重新登录（或用 newgrp {1} "
        "启动一个 shell）。"},
    Entry{IDS_PORT_PERMISSION_OWNER,
          "Cannot open serial port {0}: permission denied. Only {1} may use it (group {2}, mode {3}), so "
          "joining "
          "a group does not help: run as {1}, or have the administrator give the group read and write access "
          "(a udev rule with MODE=\"0660\").",
          "无法打开串口 {0}：权限不足。只有 {1} 能使用它（组 {2}，权限 {3}），加入组也无济于事：请以 {1} "
          "身份运行，或请管理员给该组读写权限（udev 规则 MODE=\"0660\"）。"},

    Entry{IDS_REASON_NO_ENTER_ACK,
          "No answer to the boot-loader command within 10 s from address {0} at {1} bit/s: "
          "check the address, the line speed and the cable",
          "10 秒内地址 {0}（{1} bit/s）没有应答进入升级的指令：请检查地址、波特率和连线"},
    Entry{IDS_REASON_NO_HEADER_REQUEST,
          "The camera took the boot-loader command but asked for no image within 10 s at {0} bit/s: "
          "check the upgrade speed and the board chosen",
          "摄像机已接受进入升级的指令，但 10 秒内（{0} bit/s）没有请求镜像：请检查升级波特率和所选的板"},
    Entry{IDS_REASON_SIZE_REFUSED,
          "The camera refused the image size ({0} bytes): check that the image is meant for this board",
          "摄像机拒绝了镜像大小（{0} 字节）：请确认镜像适用于这块板"},
    Entry{IDS_REASON_SIZE_UNANSWERED, "The camera did not accept the image size ({0} bytes) within 10 s",
          "摄像机 10 秒内没有接受镜像大小（{0} 字节）"},
    Entry{IDS_REASON_BLOCK_UNANSWERED,
          "Block {0} of {1} unanswered for 10 s: the camera stopped answering; check the cable and the power",
          "第 {0} 块（共 {1} 块）10 秒内没有应答：摄像机停止了应答，请检查连线和电源"},
    Entry{IDS_REASON_CAMERA_ABORTED, "The camera aborted the upgrade at block {0} of {1}",
          "摄像机在第 {0} 块（共 {1} 块）中止了升级"},
    Entry{IDS_REASON_BLOCK_ANSWER_UNKNOWN, "Block {0} of {1} got an answer the tool does not know",
          "第 {0} 块（共 {1} 块）收到了无法识别的应答"},
    Entry{IDS_REASON_END_NOT_ACCEPTED,
          "The camera did not accept the end of the transfer within 5 s: the image may not be meant for this "
          "board",
          "摄像机 5 秒内没有接受传输结束：镜像可能不适用于这块板"},
    Entry{IDS_REASON_DEVICE_GONE,
          "The serial device {0} disappeared (unplugged?): plug the adapter back in and start again",
          "串口设备 {0} 不见了（被拔出？）：请重新插好适配器后再开始"},
    Entry{IDS_REASON_INTERNAL, "The upgrade stopped on an internal error: {0}", "升级因内部错误而停止：{0}"},
    Entry{IDS_REASON_IMAGE_NO_MEMORY, "Not enough memory to hold image file {0} ({1} bytes)",
          "内存不足，无法载入镜像文件 {0}（{1} 字节）"},
    Entry{IDS_REASON_TOO_MANY_RESENDS, "The camera refused block {0} of {1} {2} times: giving up",
          "摄像机拒收第 {0} 块（共 {1} 块）{2} 次：放弃"},
    Entry{IDS_RECORD_NOT_KEPT, "The record of this upgrade could not be kept: {0}. The upgrade goes on",
          "无法保存本次升级的记录：{0}。升级继续进行"},
    Entry{IDS_RECORDS_REQUIRED, "Records are required but cannot be kept: {0}. Nothing was sent",
          "要求保存记录，但无法保存：{0}。未发送任何数据"},
    Entry{IDS_STOPPED_BY_SIGNAL, "Stopped by {0}: every camera still upgrading was sent the abort frame",
          "因 {0} 而停止：仍在升级的每台摄像机都已收到中止帧"},
    Entry{IDS_RECORD_WAITING,
          "The records of this run wait on this computer and go to the line's server when it answers: {0}",
          "本次运行的记录暂存在本机，待生产线的服务器应答后再发送：{0}"},

    Entry{IDS_IMAGE_EMPTY, "Image file {0} is empty (0 bytes): nothing was sent. Check the download or copy",
          "镜像文件 {0} 是空的（0 字节）：未发送任何数据。请检查下载或复制是否完整"},
    Entry{IDS_IMAGE_IS_HEX,
          "Image file {0} is Intel HEX text, not a firmware image: nothing was sent. Merge it (merge), or "
          "make it binary (objcopy -I ihex -O binary), then package the binary (package) and send that",
          "镜像文件 {0} 是 Intel HEX 文本，不是固件镜像：未发送任何数据。请先合并（merge），或转成二进制"
          "（objcopy -I ihex -O binary），再打包（package）后发送"},
    Entry{IDS_IMAGE_IS_ELF,
          "Image file {0} is an ELF file, not a firmware image: nothing was sent. Make it binary (objcopy -O "
          "binary), then package the binary (package) and send that",
          "镜像文件 {0} 是 ELF 文件，不是固件镜像：未发送任何数据。请先转成二进制（objcopy -O binary），"
          "再打包（package）后发送"},
    Entry{IDS_IMAGE_SEND_ANYWAY, "Send it to the camera all the same?", "仍然要发送给摄像机吗？"},

    Entry{IDS_APPROVED_BAD_LINE, "{0} line {1}: {2}", "{0} 第 {1} 行：{2}"},
    Entry{IDS_APPROVED_NO_DIGEST,
          "expected a SHA-256 of 64 hexadecimal digits, two spaces (or a space and *) and the image's name, "
          "as sha256sum writes them",
          "应为 64 位十六进制的 SHA-256、两个空格（或一个空格加 *）和镜像名称，即 sha256sum 的输出格式"},
    Entry{IDS_APPROVED_NO_NAME, "no image name after the SHA-256", "SHA-256 后面没有镜像名称"},
    Entry{IDS_APPROVED_BAD_TARGET, "{0} is no board: the third column is main, motor or special",
          "{0} 不是板名：第三列应为 main、motor 或 special"},
    Entry{IDS_APPROVED_EMPTY, "The approved list {0} lists no image: nothing can be upgraded with it",
          "批准清单 {0} 中没有任何镜像：无法用它升级"},
    Entry{
        IDS_APPROVED_NOT_LISTED,
        "Image {0} (SHA-256 {1}) is not in the approved list {2}: nothing was sent. Use an approved image "
        "or have it added to the list",
        "镜像 {0}（SHA-256 {1}）不在批准清单 {2} 中：未发送任何数据。请使用已批准的镜像，或请人将其加入清单"},
    Entry{
        IDS_APPROVED_OTHER_TARGET,
        "Image {0} (SHA-256 {1}) is approved for {2} only ({3} line {4}), not for the {5} board: nothing was "
        "sent. Check --target and the image",
        "镜像 {0}（SHA-256 {1}）只批准用于 {2}（{3} 第 {4} 行），不能用于 {5} 板：未发送任何数据。请检查 "
        "--target 和镜像"},
    Entry{IDS_APPROVED_TOO_LARGE,
          "Cannot read the approved list {0}: it is larger than 1 MiB, which no list of images is; check the "
          "file's name",
          "无法读取批准清单 {0}：文件大于 1 MiB，不可能是镜像清单；请检查文件名"},
    Entry{IDS_APPROVED_NEAR_TARGET,
          "{0} looks like a mistyped board (main, motor or special): correct it, or rename the image if it "
          "is part of its name",
          "{0} 像是拼错的板名（main、motor 或 special）：请改正；如果它是镜像名称的一部分，请重命名镜像"},

    Entry{IDS_DOCTOR_OK, "{0}: nothing in the way of an upgrade", "{0}：没有妨碍升级的问题"},
    Entry{IDS_DOCTOR_NO_DEVICE, "{0}: no such device: check the port name and that the adapter is plugged in",
          "{0}：没有这个设备：请检查串口名称以及适配器是否已插好"},
    Entry{
        IDS_DOCTOR_NOT_IN_GROUP,
        "{0}: your user may not open it (group {1}, mode {2}): sudo usermod -aG {1} $USER, then log in again",
        "{0}：当前用户无权打开（组 {1}，权限 {2}）：请运行 sudo usermod -aG {1} $USER 后重新登录"},
    Entry{IDS_DOCTOR_RELOGIN,
          "{0}: your user is in the {1} group, but this login session is not yet: log in again (or start a "
          "shell with newgrp {1})",
          "{0}：用户已在 {1} 组中，但当前登录会话尚未生效：请重新登录（或用 newgrp {1} 启动一个 shell）"},
    Entry{IDS_DOCTOR_OWNER_ONLY,
          "{0}: only {1} may open it (group {2}, mode {3}), so joining a group does not help: have the "
          "administrator give the group read and write access (a udev rule with MODE=\"0660\")",
          "{0}：只有 {1} 能打开它（组 {2}，权限 {3}），加入组也无济于事：请管理员给该组读写权限（udev 规则 "
          "MODE=\"0660\"）"},
    Entry{IDS_DOCTOR_HELD, "{0}: held open by {1} (pid {2}): close it there first",
          "{0}：正被 {1}（pid {2}）占用：请先在那里关闭它"},
    Entry{IDS_DOCTOR_HELD_BY_MM,
          "{0}: held open by ModemManager (pid {1}), which probes new serial adapters: sudo systemctl stop "
          "ModemManager, or keep it off the adapter with a udev rule setting ENV{ID_MM_DEVICE_IGNORE}=\"1\"",
          "{0}：正被 ModemManager（pid {1}）占用，它会探测新插入的串口适配器：请运行 sudo systemctl stop "
          "ModemManager，或用设置 ENV{ID_MM_DEVICE_IGNORE}=\"1\" 的 udev 规则让它避开该适配器"},
    Entry{
        IDS_DOCTOR_MM_PROBES,
        "{0}: ModemManager runs and probes this adapter when it is plugged in, which can disturb an upgrade "
        "starting then: keep it off with a file /etc/udev/rules.d/99-orvane.rules holding "
        "ATTRS{idVendor}==\"{1}\", ATTRS{idProduct}==\"{2}\", ENV{ID_MM_DEVICE_IGNORE}=\"1\" "
        "(then sudo udevadm control --reload and plug it in again)",
        "{0}：ModemManager 正在运行，适配器插入时会被它探测，这可能干扰刚开始的升级：请新建文件 "
        "/etc/udev/rules.d/99-orvane.rules，内容为 ATTRS{idVendor}==\"{1}\", ATTRS{idProduct}==\"{2}\", "
        "ENV{ID_MM_DEVICE_IGNORE}=\"1\"（然后运行 sudo udevadm control --reload 并重新插拔）"},
    Entry{IDS_DOCTOR_BRLTTY,
          "brltty (the braille display service) claims CH340 adapters (1a86:7523) and takes their port away "
          "({0}): if no braille display is used here, sudo systemctl mask brltty-udev.service brltty.service "
          "(or sudo apt remove brltty), then plug the adapter in again",
          "brltty（盲文显示器服务）会占用 CH340 "
          "适配器（1a86:7523）并使其串口消失（{0}）：如果这里不用盲文显示器，"
          "请运行 sudo systemctl mask brltty-udev.service brltty.service（或 sudo apt remove "
          "brltty），然后重新插拔适配器"},
    Entry{
        IDS_DOCTOR_BRLTTY_PORT,
        "{0}: a CH340 adapter while brltty runs: brltty may take this port away at any moment; stop it first",
        "{0}：brltty 正在运行时使用 CH340 适配器：brltty 随时可能夺走这个串口，请先停止它"},
    Entry{
        IDS_DOCTOR_SPEED_LIMIT,
        "{0}: the {1} adapter at {2} bit/s is at the top of what such adapters are reported to keep to: "
        "serial flashers' trackers report CH340 and PL2303 chips failing above 115200 bit/s on some "
        "chips (e.g. esptool issue 145). A warning only; if blocks are refused, try a lower --upbps",
        "{0}：{1} 适配器在 {2} bit/s 已处于此类适配器的报告上限：串口烧写工具的问题跟踪中有 CH340 和 PL2303 "
        "在部分芯片上超过 115200 bit/s 即出错的报告（如 esptool 第 145 "
        "号）。仅为警告；如有数据块被拒收，请降低 "
        "--upbps"},
    Entry{IDS_DOCTOR_NO_BY_ID,
          "There is no /dev/serial/by-id: udev made no stable names, so a port's name may change when "
          "adapters are plugged in again; check that udev runs (systemctl status systemd-udevd)",
          "没有 /dev/serial/by-id：udev 没有生成固定名称，重新插拔后串口名称可能改变；请检查 udev 是否运行"
          "（systemctl status systemd-udevd）"},
    Entry{IDS_DOCTOR_NO_PORTS,
          "No serial port found: plug the adapter in (and see dmesg for what the system made of it)",
          "没有找到串口：请插好适配器（并用 dmesg 查看系统识别的结果）"},
    Entry{IDS_DOCTOR_NOT_CHECKED,
          "Not checked on this system: group access, ModemManager, brltty, the latency timer and by-id names",
          "此系统上未检查：组权限、ModemManager、brltty、延迟计时器和 by-id 名称"},
    Entry{IDS_DOCTOR_BUSY, "{0}: in use by another program: close it there first",
          "{0}：正被其他程序占用：请先在那里关闭它"},
    Entry{IDS_DOCTOR_BRLTTY_RUNNING, "it runs now", "它正在运行"},
    Entry{IDS_DOCTOR_BRLTTY_RULES, "its udev rules {0}", "其 udev 规则 {0}"},
    Entry{IDS_DOCTOR_INFO, "note: ", "提示："},
    Entry{IDS_DOCTOR_WARNING, "warning: ", "警告："},
    Entry{IDS_DOCTOR_BLOCKER, "stops an upgrade: ", "阻止升级："},
    Entry{IDS_DOCTOR_BLOCKED, "{0} finding(s) stop an upgrade: act on them first",
          "{0} 项问题会阻止升级：请先处理"},
    Entry{IDS_DOCTOR_CLEAR, "Nothing stops an upgrade ({0} warning(s))", "没有阻止升级的问题（{0} 项警告）"},
    Entry{IDS_STATION_READY, "Station ready: {0}, {1} bytes, SHA-256 {2}. Plug in the cameras",
          "工作站就绪：{0}，{1} 字节，SHA-256 {2}。请接入摄像机"},
    Entry{IDS_STATION_IMAGE_CHANGED,
          "The image {0} has changed on disk; the station goes on sending what it read at its start (SHA-256 "
          "{1})",
          "磁盘上的映像 {0} 已改变；工作站继续发送启动时读取的内容（SHA-256 {1}）"},
    Entry{IDS_STATION_WAITING, "waiting", "等待中"},
    Entry{IDS_STATION_FLASHING, "flashing {0}%, {1} s left", "升级中 {0}%，剩余 {1} 秒"},
    Entry{IDS_STATION_COUNTERS, "succeeded {0}, not succeeded {1}, first-pass yield {2}, final yield {3}",
          "成功 {0}，未成功 {1}，一次通过率 {2}，最终良率 {3}"},
    Entry{IDS_STATION_PLUGGED, "{0}: camera plugged in", "{0}：摄像机已接入"},
    Entry{IDS_STATION_UNPLUGGED, "{0}: camera unplugged", "{0}：摄像机已拔出"},
    Entry{IDS_STATION_STOPPED, "Station stopped: {0}", "工作站已停止：{0}"},
    Entry{IDS_STATION_TODAY, "Today so far in the records: {0}", "今日记录至今：{0}"},
    Entry{IDS_STATION_RETRY, "retry {0} of {1}", "第 {0} 次重试（共 {1} 次）"},
    Entry{IDS_STATION_NO_FOLDER,
          "{0} does not exist yet: it appears when the first USB serial adapter is plugged in, and the "
          "station waits for it. To name fixed ports instead, give them with --ports-from",
          "{0} 尚不存在：插入第一个 USB 串口适配器时它才会出现，工作站会等待它。如要改用固定串口，请用 "
          "--ports-from 列出"},
    Entry{IDS_LABEL_EMPTY, "the label is empty: scan or type it again", "标签为空：请重新扫描或输入"},
    Entry{IDS_LABEL_TOO_LONG,
          "the label has {0} characters, at most {1} are taken: check the scanner's settings",
          "标签有 {0} 个字符，最多接受 {1} 个：请检查扫描器的设置"},
    Entry{IDS_LABEL_NOT_UTF8, "the label is not valid UTF-8 (byte {0}): set the scanner to send UTF-8",
          "标签不是有效的 UTF-8（第 {0} 字节）：请将扫描器设为发送 UTF-8"},
    Entry{IDS_LABEL_HIDDEN_CHARACTER,
          "the label holds the control or invisible character {0} (character {1}): only printed characters "
          "are taken",
          "标签含有控制或不可见字符 {0}（第 {1} 个字符）：只接受可打印字符"},
    Entry{IDS_LABEL_REFUSED, "Label refused: {0}", "标签被拒绝：{0}"},
    Entry{IDS_LABEL_READ, "Label {0} read: it goes to the next camera plugged in",
          "已读取标签 {0}：它将分配给下一台接入的摄像机"},
    Entry{IDS_LABEL_DROPPED,
          "Label {0} dropped: no camera took it within {1} s of its reading; scan it again",
          "标签 {0} 已丢弃：读取后 {1} 秒内没有摄像机接入；请重新扫描"},
    Entry{IDS_STATION_WAITING_LABEL, "waiting for its label", "等待其标签"},
    Entry{IDS_SCANNER_LOST, "The scanner {0} cannot be read ({1}); trying it again every second",
          "无法读取扫描器 {0}（{1}）；每秒重试一次"},
    Entry{IDS_SCANNER_BACK, "The scanner {0} is read again", "扫描器 {0} 已恢复读取"},
    Entry{IDS_LINE_NAME_TAKEN,
          "Station {0} is already running on {1} (last seen {2} s ago): give this one another name with "
          "--station-name",
          "工作站 {0} 已在 {1} 上运行（{2} 秒前最后一次联系）：请用 --station-name 为本工作站另取名字"},
    Entry{IDS_LINE_PAUSED, "Station paused from the line: no camera is started until it is resumed",
          "工作站已由产线暂停：恢复之前不会开始升级任何摄像机"},
    Entry{IDS_LINE_RESUMED, "Station resumed from the line", "工作站已由产线恢复"},
    Entry{IDS_JOB_TAKEN, "Job {0} version {1} taken for the next cameras: {2}, {3} bytes, SHA-256 {4}",
          "已为后续摄像机采用作业 {0} 版本 {1}：{2}，{3} 字节，SHA-256 {4}"},
    Entry{IDS_JOB_RETIRED,
          "Job {0} is retired: no camera is started until it is released again; attempts under way finish",
          "作业 {0} 已停用：在重新发布之前不再启动任何摄像机；进行中的升级会完成"},
    Entry{IDS_JOB_UNANSWERED,
          "The line's server does not answer ({0}); the station goes on with job {1} version {2}",
          "产线服务器无应答（{0}）；工作站继续使用作业 {1} 版本 {2}"},
    Entry{IDS_JOB_ANSWERED, "The line's server answers again; job {0} is followed again",
          "产线服务器已恢复应答；重新跟随作业 {0}"},
    Entry{IDS_JOB_REFUSED, "A release of job {0} was refused ({1}); the station goes on with version {2}",
          "作业 {0} 的一次发布被拒绝（{1}）；工作站继续使用版本 {2}"},
    Entry{IDS_JOB_FROM_COPY,
          "The line's server does not answer ({0}); the station starts from its copy of job {1} version {2} "
          "kept in {3}",
          "产线服务器无应答（{0}）；工作站从 {3} 中保存的作业 {1} 版本 {2} 副本启动"},
    Entry{IDS_STATION_WAITING_JOB, "waiting: the job is retired", "等待：作业已停用"},
};

const Entry* find(int id) {
    const auto it = std::find_if(table.begin(), table.end(), [id](const Entry& e) { return e.id == id; });
    return it == table.end() ? nullptr : &*it;
}

} // namespace

std::string_view textOf(int id, TextLanguage language) {
    const Entry* entry = find(id);
    if (entry == nullptr) {
        return {};
    }
    return language == TextLanguage::Chinese ? entry->chinese : entry->english;
}

std::string_view loadText(int id) {
    return textOf(id, threadLanguage());
}

std::string fillText(std::string_view pattern, std::initializer_list<std::string_view> args) {
    std::string out;
    out.reserve(pattern.size() + 32);
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        // "{n}" with a single digit n names an argument; anything else is copied as it stands.
        if (pattern[i] == '{' && i + 2 < pattern.size() && pattern[i + 2] == '}' && pattern[i + 1] >= '0' &&
            pattern[i + 1] <= '9') {
            const auto index = static_cast<std::size_t>(pattern[i + 1] - '0');
            if (index < args.size()) {
                out += *(args.begin() + index);
                i += 2;
                continue;
            }
        }
        out += pattern[i];
    }
    return out;
}

} // namespace orvane
