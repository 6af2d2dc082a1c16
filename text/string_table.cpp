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
    Entry{IDS_IMAGE_TOO_LARGE, "Image file {0} is too large ({1} bytes); at most 67107839 bytes fit the block count",
          "镜像文件 {0} 太大（{1} 字节），最多 67107839 字节"},
    Entry{IDS_IMAGE_SHORT_READ, "Image file {0} changed while it was read: {1} of {2} bytes",
          "读取镜像文件 {0} 时文件发生变化：读到 {1} / {2} 字节"},
    Entry{IDS_PORT_OPEN_FAILED, "Cannot open serial port {0}: {1}", "无法打开串口 {0}：{1}"},
    Entry{IDS_PORT_PERMISSION,
          "Cannot open serial port {0}: permission denied. Add your user to the dialout group "
          "(sudo usermod -aG dialout $USER) and log in again.",
          "无法打开串口 {0}：权限不足。请把用户加入 dialout 组（sudo usermod -aG dialout $USER）后重新登录。"},
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
