<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>CameraWindow</name>
    <message>
        <source>摄像头预览</source>
        <translation>Camera preview</translation>
    </message>
    <message>
        <source>拖动可移动位置</source>
        <translation>Drag to move</translation>
    </message>
    <message>
        <source>关闭预览</source>
        <translation>Close preview</translation>
    </message>
    <message>
        <source>✕</source>
        <translation>✕</translation>
    </message>
</context>
<context>
    <name>CompressListContainerElement</name>
    <message>
        <source>压缩后大小</source>
        <translation>New size</translation>
    </message>
    <message>
        <source>减小比例</source>
        <translation>Saved</translation>
    </message>
    <message>
        <source>压缩进度</source>
        <translation>Compress progress</translation>
    </message>
    <message>
        <source>压缩</source>
        <translation>Compress</translation>
    </message>
    <message>
        <source>开始压缩</source>
        <translation>Start compressing</translation>
    </message>
    <message>
        <source>更多</source>
        <translation>More</translation>
    </message>
</context>
<context>
    <name>CompressPage</name>
    <message>
        <source>压缩方式</source>
        <translation>Mode</translation>
    </message>
    <message>
        <source>普通压缩</source>
        <translation>Normal</translation>
    </message>
    <message>
        <source>深度压缩</source>
        <translation>Strong</translation>
    </message>
    <message>
        <source>极限压缩</source>
        <translation>Maximum</translation>
    </message>
    <message>
        <source>自定义</source>
        <translation>Custom</translation>
    </message>
    <message>
        <source>自定义压缩率</source>
        <translation>Custom compression rate</translation>
    </message>
    <message>
        <source>压缩率</source>
        <translation>Rate</translation>
    </message>
    <message>
        <source>28</source>
        <translation>28</translation>
    </message>
    <message>
        <source>兼顾速度与画质</source>
        <translation>Balance speed and quality</translation>
    </message>
    <message>
        <source>添加视频</source>
        <translation>Add video</translation>
    </message>
    <message>
        <source>添加要压缩的视频</source>
        <translation>Add videos to compress</translation>
    </message>
    <message>
        <source>输出格式</source>
        <translation>Output format</translation>
    </message>
    <message>
        <source>MP4</source>
        <translation>MP4</translation>
    </message>
    <message>
        <source>输出MP4</source>
        <translation>Output MP4</translation>
    </message>
    <message>
        <source>FLV</source>
        <translation>FLV</translation>
    </message>
    <message>
        <source>输出FLV</source>
        <translation>Output FLV</translation>
    </message>
    <message>
        <source>分辨率</source>
        <translation>Resolution</translation>
    </message>
    <message>
        <source>输出分辨率</source>
        <translation>Output resolution</translation>
    </message>
    <message>
        <source>保持原尺寸</source>
        <translation>Original size</translation>
    </message>
    <message>
        <source>1920×1080</source>
        <translation>1920×1080</translation>
    </message>
    <message>
        <source>1280×720</source>
        <translation>1280×720</translation>
    </message>
    <message>
        <source>1024×600</source>
        <translation>1024×600</translation>
    </message>
    <message>
        <source>800×600</source>
        <translation>800×600</translation>
    </message>
    <message>
        <source>720×576</source>
        <translation>720×576</translation>
    </message>
    <message>
        <source>720×480</source>
        <translation>720×480</translation>
    </message>
    <message>
        <source>640×480</source>
        <translation>640×480</translation>
    </message>
    <message>
        <source>640×360</source>
        <translation>640×360</translation>
    </message>
    <message>
        <source>480×360</source>
        <translation>480×360</translation>
    </message>
    <message>
        <source>480×272</source>
        <translation>480×272</translation>
    </message>
    <message>
        <source>352×288</source>
        <translation>352×288</translation>
    </message>
    <message>
        <source>320×240</source>
        <translation>320×240</translation>
    </message>
    <message>
        <source>压缩列表</source>
        <translation>Compress list</translation>
    </message>
</context>
<context>
    <name>CompressPopMenu</name>
    <message>
        <source>文件操作</source>
        <translation>File actions</translation>
    </message>
    <message>
        <source>打开文件夹</source>
        <translation>Open folder</translation>
    </message>
    <message>
        <source>从列表移除</source>
        <translation>Remove from list</translation>
    </message>
    <message>
        <source>取消任务</source>
        <translation>Cancel job</translation>
    </message>
</context>
<context>
    <name>ConvertListContainerElement</name>
    <message>
        <source>转换进度</source>
        <translation>Convert progress</translation>
    </message>
    <message>
        <source>转换</source>
        <translation>Convert</translation>
    </message>
    <message>
        <source>开始转换</source>
        <translation>Start converting</translation>
    </message>
    <message>
        <source>更多</source>
        <translation>More</translation>
    </message>
</context>
<context>
    <name>ConvertPage</name>
    <message>
        <source>添加视频</source>
        <translation>Add video</translation>
    </message>
    <message>
        <source>添加要转换的视频</source>
        <translation>Add videos to convert</translation>
    </message>
    <message>
        <source>输出格式</source>
        <translation>Output format</translation>
    </message>
    <message>
        <source>mp4</source>
        <translation>mp4</translation>
    </message>
    <message>
        <source>flv</source>
        <translation>flv</translation>
    </message>
    <message>
        <source>wmv</source>
        <translation>wmv</translation>
    </message>
    <message>
        <source>avi</source>
        <translation>avi</translation>
    </message>
    <message>
        <source>mov</source>
        <translation>mov</translation>
    </message>
    <message>
        <source>mkv</source>
        <translation>mkv</translation>
    </message>
    <message>
        <source>分辨率</source>
        <translation>Resolution</translation>
    </message>
    <message>
        <source>输出分辨率</source>
        <translation>Output resolution</translation>
    </message>
    <message>
        <source>保持原尺寸</source>
        <translation>Original size</translation>
    </message>
    <message>
        <source>1920×1080</source>
        <translation>1920×1080</translation>
    </message>
    <message>
        <source>1280×720</source>
        <translation>1280×720</translation>
    </message>
    <message>
        <source>1024×600</source>
        <translation>1024×600</translation>
    </message>
    <message>
        <source>800×600</source>
        <translation>800×600</translation>
    </message>
    <message>
        <source>720×576</source>
        <translation>720×576</translation>
    </message>
    <message>
        <source>720×480</source>
        <translation>720×480</translation>
    </message>
    <message>
        <source>640×480</source>
        <translation>640×480</translation>
    </message>
    <message>
        <source>640×360</source>
        <translation>640×360</translation>
    </message>
    <message>
        <source>480×360</source>
        <translation>480×360</translation>
    </message>
    <message>
        <source>480×272</source>
        <translation>480×272</translation>
    </message>
    <message>
        <source>352×288</source>
        <translation>352×288</translation>
    </message>
    <message>
        <source>320×240</source>
        <translation>320×240</translation>
    </message>
    <message>
        <source>转换列表</source>
        <translation>Convert list</translation>
    </message>
</context>
<context>
    <name>ConvertPopMenu</name>
    <message>
        <source>文件操作</source>
        <translation>File actions</translation>
    </message>
    <message>
        <source>打开文件夹</source>
        <translation>Open folder</translation>
    </message>
    <message>
        <source>从列表移除</source>
        <translation>Remove from list</translation>
    </message>
    <message>
        <source>取消任务</source>
        <translation>Cancel job</translation>
    </message>
</context>
<context>
    <name>CutTools</name>
    <message>
        <source>设为开始</source>
        <translation>Set start</translation>
    </message>
    <message>
        <source>开始位置</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>开始位置时</source>
        <translation>Start hours</translation>
    </message>
    <message>
        <source>:</source>
        <translation>:</translation>
    </message>
    <message>
        <source>开始位置分</source>
        <translation>Start minutes</translation>
    </message>
    <message>
        <source>开始位置秒</source>
        <translation>Start seconds</translation>
    </message>
    <message>
        <source>.</source>
        <translation>.</translation>
    </message>
    <message>
        <source>开始位置毫秒</source>
        <translation>Start milliseconds</translation>
    </message>
    <message>
        <source>设为结束</source>
        <translation>Set end</translation>
    </message>
    <message>
        <source>结束位置</source>
        <translation>End</translation>
    </message>
    <message>
        <source>结束位置时</source>
        <translation>End hours</translation>
    </message>
    <message>
        <source>结束位置分</source>
        <translation>End minutes</translation>
    </message>
    <message>
        <source>结束位置秒</source>
        <translation>End seconds</translation>
    </message>
    <message>
        <source>结束位置毫秒</source>
        <translation>End milliseconds</translation>
    </message>
    <message>
        <source>快速剪切</source>
        <translation>Quick cut</translation>
    </message>
    <message>
        <source>快速剪切(不重新编码)</source>
        <translation>Quick cut (no re-encoding)</translation>
    </message>
    <message>
        <source>不重新编码,从开始位置之前最近的关键帧开始</source>
        <translation>No re-encoding: starts at the nearest keyframe before the start</translation>
    </message>
    <message>
        <source>开始剪切</source>
        <translation>Cut</translation>
    </message>
    <message>
        <source>剪切进度</source>
        <translation>Cut progress</translation>
    </message>
    <message>
        <source>0%</source>
        <translation>0%</translation>
    </message>
    <message>
        <source>打开文件夹</source>
        <translation>Open folder</translation>
    </message>
    <message>
        <source>打开输出文件夹</source>
        <translation>Open the output folder</translation>
    </message>
</context>
<context>
    <name>DownloadDialog</name>
    <message>
        <source>软件更新</source>
        <translation>Software update</translation>
    </message>
    <message>
        <source>正在下载新版本</source>
        <translation>Downloading the new version</translation>
    </message>
    <message>
        <source>下载进度</source>
        <translation>Download progress</translation>
    </message>
    <message>
        <source>已下载百分比</source>
        <translation>Percent downloaded</translation>
    </message>
    <message>
        <source>0%</source>
        <translation>0%</translation>
    </message>
    <message>
        <source>取消下载</source>
        <translation>Cancel the download</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>EditWindow</name>
    <message>
        <source>输入文字</source>
        <translation>Enter text</translation>
    </message>
</context>
<context>
    <name>MainTaskMenu</name>
    <message>
        <source>TARN屏幕录制</source>
        <translation>TARN Screen Recorder</translation>
    </message>
    <message>
        <source>开始录制</source>
        <translation>Start recording</translation>
    </message>
    <message>
        <source>暂停录制</source>
        <translation>Pause recording</translation>
    </message>
    <message>
        <source>继续录制</source>
        <translation>Resume recording</translation>
    </message>
    <message>
        <source>停止录制</source>
        <translation>Stop recording</translation>
    </message>
    <message>
        <source>主界面</source>
        <translation>Main window</translation>
    </message>
    <message>
        <source>设置</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>帮助</source>
        <translation>Help</translation>
    </message>
    <message>
        <source>反馈</source>
        <translation>Feedback</translation>
    </message>
    <message>
        <source>检查更新</source>
        <translation>Check for updates</translation>
    </message>
    <message>
        <source>退出</source>
        <translation>Quit</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>TARN屏幕录制</source>
        <translation>TARN Screen Recorder</translation>
    </message>
    <message>
        <source>登录</source>
        <translation>Sign in</translation>
    </message>
    <message>
        <source>账户</source>
        <translation>Account</translation>
    </message>
    <message>
        <source>帮助</source>
        <translation>Help</translation>
    </message>
    <message>
        <source>设置</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>反馈</source>
        <translation>Feedback</translation>
    </message>
    <message>
        <source>录制视频</source>
        <translation>Record</translation>
    </message>
    <message>
        <source>视频剪切</source>
        <translation>Cut</translation>
    </message>
    <message>
        <source>格式转换</source>
        <translation>Convert</translation>
    </message>
    <message>
        <source>视频压缩</source>
        <translation>Compress</translation>
    </message>
    <message>
        <source>屏幕画笔</source>
        <translation>Screen brush</translation>
    </message>
    <message>
        <source>在屏幕上标注</source>
        <translation>Draw on the screen</translation>
    </message>
    <message>
        <source>录制时长</source>
        <translation>Duration</translation>
    </message>
    <message>
        <source>00:00:00</source>
        <translation>00:00:00</translation>
    </message>
    <message>
        <source>开始录制</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>开始录制 (Alt+F8)</source>
        <translation>Start recording (Alt+F8)</translation>
    </message>
    <message>
        <source>暂停</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>暂停录制 (Alt+F8)</source>
        <translation>Pause recording (Alt+F8)</translation>
    </message>
    <message>
        <source>停止</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>停止录制 (Alt+F12)</source>
        <translation>Stop recording (Alt+F12)</translation>
    </message>
    <message>
        <source>录制设置</source>
        <translation>Recording settings</translation>
    </message>
    <message>
        <source>录制区域</source>
        <translation>Area</translation>
    </message>
    <message>
        <source>全屏</source>
        <translation>Full screen</translation>
    </message>
    <message>
        <source>录制整个主显示器</source>
        <translation>Record the whole primary monitor</translation>
    </message>
    <message>
        <source>自定义区域</source>
        <translation>Region</translation>
    </message>
    <message>
        <source>录制红框内的区域，拖动红框的边和角调整大小</source>
        <translation>Record the area inside the red frame; drag its edges and corners to resize it</translation>
    </message>
    <message>
        <source>跟随鼠标</source>
        <translation>Follow mouse</translation>
    </message>
    <message>
        <source>录制鼠标周围的区域，区域跟随鼠标移动</source>
        <translation>Record the area around the mouse; the area follows the mouse</translation>
    </message>
    <message>
        <source>摄像头</source>
        <translation>Camera</translation>
    </message>
    <message>
        <source>录制第一个摄像头的画面</source>
        <translation>Record the first camera</translation>
    </message>
    <message>
        <source>预览</source>
        <translation>Preview</translation>
    </message>
    <message>
        <source>在小窗口中查看摄像头的画面</source>
        <translation>Watch the camera in a small window</translation>
    </message>
    <message>
        <source>跟随鼠标的区域大小</source>
        <translation>Size of the area that follows the mouse</translation>
    </message>
    <message>
        <source>跟随鼠标录制的区域大小</source>
        <translation>Size of the area recorded around the mouse</translation>
    </message>
    <message>
        <source>1280 x 720</source>
        <translation>1280 x 720</translation>
    </message>
    <message>
        <source>800 x 600</source>
        <translation>800 x 600</translation>
    </message>
    <message>
        <source>640 x 480</source>
        <translation>640 x 480</translation>
    </message>
    <message>
        <source>320 x 240</source>
        <translation>320 x 240</translation>
    </message>
    <message>
        <source>720 x 1080</source>
        <translation>720 x 1080</translation>
    </message>
    <message>
        <source>400 x 800</source>
        <translation>400 x 800</translation>
    </message>
    <message>
        <source>320 x 480</source>
        <translation>320 x 480</translation>
    </message>
    <message>
        <source>240 x 320</source>
        <translation>240 x 320</translation>
    </message>
    <message>
        <source>框选区域</source>
        <translation>Select area</translation>
    </message>
    <message>
        <source>在屏幕截图上框选或点选一个窗口作为录制区域</source>
        <translation>Drag a rectangle or click a window on a screenshot to record that area</translation>
    </message>
    <message>
        <source>声音</source>
        <translation>Sound</translation>
    </message>
    <message>
        <source>麦克风和系统声音</source>
        <translation>Mic and system</translation>
    </message>
    <message>
        <source>仅麦克风</source>
        <translation>Mic only</translation>
    </message>
    <message>
        <source>仅系统声音</source>
        <translation>System only</translation>
    </message>
    <message>
        <source>不录制声音</source>
        <translation>No sound</translation>
    </message>
    <message>
        <source>麦克风增益</source>
        <translation>Mic gain</translation>
    </message>
    <message>
        <source>麦克风增益大小</source>
        <translation>Microphone gain</translation>
    </message>
    <message>
        <source>20dB</source>
        <translation>20dB</translation>
    </message>
    <message>
        <source>音量</source>
        <translation>Volume</translation>
    </message>
    <message>
        <source>麦克风</source>
        <translation>Mic</translation>
    </message>
    <message>
        <source>系统声音</source>
        <translation>System</translation>
    </message>
    <message>
        <source>没有声音提示</source>
        <translation>No sound warning</translation>
    </message>
    <message>
        <source>格式</source>
        <translation>Format</translation>
    </message>
    <message>
        <source>MP4</source>
        <translation>MP4</translation>
    </message>
    <message>
        <source>FLV</source>
        <translation>FLV</translation>
    </message>
    <message>
        <source>WMV</source>
        <translation>WMV</translation>
    </message>
    <message>
        <source>AVI</source>
        <translation>AVI</translation>
    </message>
    <message>
        <source>MOV</source>
        <translation>MOV</translation>
    </message>
    <message>
        <source>MKV</source>
        <translation>MKV</translation>
    </message>
    <message>
        <source>画质</source>
        <translation>Quality</translation>
    </message>
    <message>
        <source>高清</source>
        <translation>High</translation>
    </message>
    <message>
        <source>标准</source>
        <translation>Standard</translation>
    </message>
    <message>
        <source>流畅</source>
        <translation>Smooth</translation>
    </message>
    <message>
        <source>帧率</source>
        <translation>Rate</translation>
    </message>
    <message>
        <source>每秒录制的帧数</source>
        <translation>Frames recorded per second</translation>
    </message>
    <message>
        <source>10</source>
        <translation>10</translation>
    </message>
    <message>
        <source>12</source>
        <translation>12</translation>
    </message>
    <message>
        <source>15</source>
        <translation>15</translation>
    </message>
    <message>
        <source>20</source>
        <translation>20</translation>
    </message>
    <message>
        <source>24</source>
        <translation>24</translation>
    </message>
    <message>
        <source>30</source>
        <translation>30</translation>
    </message>
    <message>
        <source>60</source>
        <translation>60</translation>
    </message>
    <message>
        <source>帧/秒</source>
        <translation>fps</translation>
    </message>
    <message>
        <source>保存到</source>
        <translation>Save to</translation>
    </message>
    <message>
        <source>更改</source>
        <translation>Change</translation>
    </message>
    <message>
        <source>选择视频存放目录</source>
        <translation>Choose the folder for recordings</translation>
    </message>
    <message>
        <source>打开</source>
        <translation>Open</translation>
    </message>
    <message>
        <source>打开视频存放目录</source>
        <translation>Open the folder of recordings</translation>
    </message>
    <message>
        <source>录制列表</source>
        <translation>Recordings</translation>
    </message>
    <message>
        <source>录制完成的视频会显示在这里</source>
        <translation>Finished recordings are listed here</translation>
    </message>
    <message>
        <source>回车键播放，菜单键打开更多操作，Delete 键删除</source>
        <translation>Enter plays, the menu key opens more actions, Delete deletes</translation>
    </message>
    <message>
        <source>从视频中剪出一段。</source>
        <translation>Cut a part out of a video.</translation>
    </message>
    <message>
        <source>添加视频</source>
        <translation>Add video</translation>
    </message>
    <message>
        <source>播放进度</source>
        <translation>Playback position</translation>
    </message>
    <message>
        <source>播放</source>
        <translation>Play</translation>
    </message>
    <message>
        <source>后退15秒</source>
        <translation>Back 15 s</translation>
    </message>
    <message>
        <source>前进15秒</source>
        <translation>Forward 15 s</translation>
    </message>
    <message>
        <source>00:00:00.000 / 00:00:00.000</source>
        <translation>00:00:00.000 / 00:00:00.000</translation>
    </message>
    <message>
        <source>把视频转换为其他格式和尺寸。</source>
        <translation>Convert videos to another format and size.</translation>
    </message>
    <message>
        <source>缩小视频文件的体积。</source>
        <translation>Make video files smaller.</translation>
    </message>
</context>
<context>
    <name>MessageBox</name>
    <message>
        <source>信息提示</source>
        <translation>Notice</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>PopMenu</name>
    <message>
        <source>文件操作</source>
        <translation>File actions</translation>
    </message>
    <message>
        <source>打开文件夹</source>
        <translation>Open folder</translation>
    </message>
    <message>
        <source>重命名</source>
        <translation>Rename</translation>
    </message>
    <message>
        <source>从列表移除</source>
        <translation>Remove from list</translation>
    </message>
    <message>
        <source>删除文件</source>
        <translation>Delete file</translation>
    </message>
</context>
<context>
    <name>PromptBox</name>
    <message>
        <source>信息提示</source>
        <translation>Notice</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>RenameFile</name>
    <message>
        <source>重命名</source>
        <translation>Rename</translation>
    </message>
    <message>
        <source>请输入新的文件名</source>
        <translation>Enter the new file name</translation>
    </message>
    <message>
        <source>新的文件名</source>
        <translation>New file name</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>ScreenBrush</name>
    <message>
        <source>屏幕画笔</source>
        <translation>Screen brush</translation>
    </message>
    <message>
        <source>拖动可移动位置</source>
        <translation>Drag to move</translation>
    </message>
    <message>
        <source>工具</source>
        <translation>Tools</translation>
    </message>
    <message>
        <source>画笔</source>
        <translation>Pen</translation>
    </message>
    <message>
        <source>荧光笔</source>
        <translation>Highlighter</translation>
    </message>
    <message>
        <source>矩形</source>
        <translation>Rectangle</translation>
    </message>
    <message>
        <source>椭圆</source>
        <translation>Ellipse</translation>
    </message>
    <message>
        <source>直线</source>
        <translation>Line</translation>
    </message>
    <message>
        <source>箭头</source>
        <translation>Arrow</translation>
    </message>
    <message>
        <source>文字</source>
        <translation>Text</translation>
    </message>
    <message>
        <source>序号</source>
        <translation>Number</translation>
    </message>
    <message>
        <source>橡皮擦</source>
        <translation>Eraser</translation>
    </message>
    <message>
        <source>线宽</source>
        <translation>Width</translation>
    </message>
    <message>
        <source>线宽 1</source>
        <translation>Width 1</translation>
    </message>
    <message>
        <source>线宽 2</source>
        <translation>Width 2</translation>
    </message>
    <message>
        <source>线宽 3</source>
        <translation>Width 3</translation>
    </message>
    <message>
        <source>线宽 4</source>
        <translation>Width 4</translation>
    </message>
    <message>
        <source>颜色</source>
        <translation>Colour</translation>
    </message>
    <message>
        <source>白色</source>
        <translation>White</translation>
    </message>
    <message>
        <source>黑色</source>
        <translation>Black</translation>
    </message>
    <message>
        <source>红色</source>
        <translation>Red</translation>
    </message>
    <message>
        <source>黄色</source>
        <translation>Yellow</translation>
    </message>
    <message>
        <source>绿色</source>
        <translation>Green</translation>
    </message>
    <message>
        <source>蓝色</source>
        <translation>Blue</translation>
    </message>
    <message>
        <source>橙色</source>
        <translation>Orange</translation>
    </message>
    <message>
        <source>深绿色</source>
        <translation>Dark green</translation>
    </message>
    <message>
        <source>青绿色</source>
        <translation>Teal</translation>
    </message>
    <message>
        <source>青色</source>
        <translation>Cyan</translation>
    </message>
    <message>
        <source>粉色</source>
        <translation>Pink</translation>
    </message>
    <message>
        <source>紫色</source>
        <translation>Purple</translation>
    </message>
    <message>
        <source>撤销</source>
        <translation>Undo</translation>
    </message>
    <message>
        <source>重做</source>
        <translation>Redo</translation>
    </message>
    <message>
        <source>关闭画笔</source>
        <translation>Close the brush</translation>
    </message>
    <message>
        <source>关闭</source>
        <translation>Close</translation>
    </message>
</context>
<context>
    <name>ScreenMask</name>
    <message>
        <source>ScreenMask</source>
        <translation>ScreenMask</translation>
    </message>
</context>
<context>
    <name>Seting</name>
    <message>
        <source>设置</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>基本设置</source>
        <translation>General</translation>
    </message>
    <message>
        <source>鼠标效果</source>
        <translation>Mouse</translation>
    </message>
    <message>
        <source>水印</source>
        <translation>Watermark</translation>
    </message>
    <message>
        <source>快捷键</source>
        <translation>Hot keys</translation>
    </message>
    <message>
        <source>其他设置</source>
        <translation>Other</translation>
    </message>
    <message>
        <source>视频来源</source>
        <translation>Source</translation>
    </message>
    <message>
        <source>屏幕</source>
        <translation>Screen</translation>
    </message>
    <message>
        <source>摄像头</source>
        <translation>Camera</translation>
    </message>
    <message>
        <source>录制第一个摄像头的画面</source>
        <translation>Record the first camera</translation>
    </message>
    <message>
        <source>摄像头预览</source>
        <translation>Camera preview</translation>
    </message>
    <message>
        <source>在屏幕右上角的小窗口中查看摄像头的画面</source>
        <translation>Watch the camera in a small window at the top right of the screen</translation>
    </message>
    <message>
        <source>录制区域</source>
        <translation>Area</translation>
    </message>
    <message>
        <source>跟随鼠标</source>
        <translation>Follow mouse</translation>
    </message>
    <message>
        <source>录制鼠标周围的区域，区域跟随鼠标移动</source>
        <translation>Record the area around the mouse; the area follows the mouse</translation>
    </message>
    <message>
        <source>跟随鼠标区域大小</source>
        <translation>Follow area size</translation>
    </message>
    <message>
        <source>跟随鼠标录制的区域大小</source>
        <translation>Size of the area recorded around the mouse</translation>
    </message>
    <message>
        <source>自定义区域</source>
        <translation>Region</translation>
    </message>
    <message>
        <source>录制红框内的区域，勾选后显示红框</source>
        <translation>Record the area inside the red frame; ticking it shows the frame</translation>
    </message>
    <message>
        <source>帧率</source>
        <translation>Frame rate</translation>
    </message>
    <message>
        <source>每秒录制的帧数</source>
        <translation>Frames recorded per second</translation>
    </message>
    <message>
        <source>帧/秒</source>
        <translation>fps</translation>
    </message>
    <message>
        <source>声音</source>
        <translation>Sound</translation>
    </message>
    <message>
        <source>麦克风和系统声音</source>
        <translation>Mic and system</translation>
    </message>
    <message>
        <source>仅麦克风</source>
        <translation>Mic only</translation>
    </message>
    <message>
        <source>仅系统声音</source>
        <translation>System only</translation>
    </message>
    <message>
        <source>录制时</source>
        <translation>Recording</translation>
    </message>
    <message>
        <source>显示悬浮控制条</source>
        <translation>Show floating panel</translation>
    </message>
    <message>
        <source>录制时最小化主窗口，在屏幕上显示计时和暂停、停止按钮</source>
        <translation>While recording, minimise the main window and show the time with pause and stop buttons</translation>
    </message>
    <message>
        <source>鼠标指针</source>
        <translation>Pointer</translation>
    </message>
    <message>
        <source>录制鼠标指针</source>
        <translation>Record the pointer</translation>
    </message>
    <message>
        <source>点击效果</source>
        <translation>Clicks</translation>
    </message>
    <message>
        <source>显示鼠标点击</source>
        <translation>Show mouse clicks</translation>
    </message>
    <message>
        <source>左键</source>
        <translation>Left</translation>
    </message>
    <message>
        <source>左键点击的颜色</source>
        <translation>Colour of left clicks</translation>
    </message>
    <message>
        <source>右键</source>
        <translation>Right</translation>
    </message>
    <message>
        <source>右键点击的颜色</source>
        <translation>Colour of right clicks</translation>
    </message>
    <message>
        <source>鼠标高亮</source>
        <translation>Highlight</translation>
    </message>
    <message>
        <source>高亮鼠标周围</source>
        <translation>Highlight around the pointer</translation>
    </message>
    <message>
        <source>颜色</source>
        <translation>Colour</translation>
    </message>
    <message>
        <source>高亮的颜色</source>
        <translation>Highlight colour</translation>
    </message>
    <message>
        <source>高亮大小</source>
        <translation>Size</translation>
    </message>
    <message>
        <source>54</source>
        <translation>54</translation>
    </message>
    <message>
        <source>像素</source>
        <translation>px</translation>
    </message>
    <message>
        <source>不加水印</source>
        <translation>None</translation>
    </message>
    <message>
        <source>图片水印</source>
        <translation>Image</translation>
    </message>
    <message>
        <source>文字水印</source>
        <translation>Text</translation>
    </message>
    <message>
        <source>位置</source>
        <translation>Position</translation>
    </message>
    <message>
        <source>左上</source>
        <translation>Top left</translation>
    </message>
    <message>
        <source>右上</source>
        <translation>Top right</translation>
    </message>
    <message>
        <source>左下</source>
        <translation>Bottom left</translation>
    </message>
    <message>
        <source>右下</source>
        <translation>Bottom right</translation>
    </message>
    <message>
        <source>图片</source>
        <translation>Image</translation>
    </message>
    <message>
        <source>水印图片</source>
        <translation>Watermark image</translation>
    </message>
    <message>
        <source>bmp, jpg 或 png 图片</source>
        <translation>A bmp, jpg or png image</translation>
    </message>
    <message>
        <source>选择</source>
        <translation>Choose</translation>
    </message>
    <message>
        <source>左</source>
        <translation>Left</translation>
    </message>
    <message>
        <source>左上左边距</source>
        <translation>Top left: left margin</translation>
    </message>
    <message>
        <source>上</source>
        <translation>Top</translation>
    </message>
    <message>
        <source>左上上边距</source>
        <translation>Top left: top margin</translation>
    </message>
    <message>
        <source>右</source>
        <translation>Right</translation>
    </message>
    <message>
        <source>右上右边距</source>
        <translation>Top right: right margin</translation>
    </message>
    <message>
        <source>右上上边距</source>
        <translation>Top right: top margin</translation>
    </message>
    <message>
        <source>左下左边距</source>
        <translation>Bottom left: left margin</translation>
    </message>
    <message>
        <source>下</source>
        <translation>Bottom</translation>
    </message>
    <message>
        <source>左下下边距</source>
        <translation>Bottom left: bottom margin</translation>
    </message>
    <message>
        <source>右下右边距</source>
        <translation>Bottom right: right margin</translation>
    </message>
    <message>
        <source>右下下边距</source>
        <translation>Bottom right: bottom margin</translation>
    </message>
    <message>
        <source>内容</source>
        <translation>Text</translation>
    </message>
    <message>
        <source>水印文字</source>
        <translation>Watermark text</translation>
    </message>
    <message>
        <source>水平偏移</source>
        <translation>Horizontal offset</translation>
    </message>
    <message>
        <source>垂直偏移</source>
        <translation>Vertical offset</translation>
    </message>
    <message>
        <source>字体</source>
        <translation>Font</translation>
    </message>
    <message>
        <source>水印字体</source>
        <translation>Watermark font</translation>
    </message>
    <message>
        <source>字号</source>
        <translation>Size</translation>
    </message>
    <message>
        <source>水印字号</source>
        <translation>Watermark font size</translation>
    </message>
    <message>
        <source>红</source>
        <translation>Red</translation>
    </message>
    <message>
        <source>橙</source>
        <translation>Orange</translation>
    </message>
    <message>
        <source>黄</source>
        <translation>Yellow</translation>
    </message>
    <message>
        <source>绿</source>
        <translation>Green</translation>
    </message>
    <message>
        <source>蓝</source>
        <translation>Blue</translation>
    </message>
    <message>
        <source>开始/暂停</source>
        <translation>Start/Pause</translation>
    </message>
    <message>
        <source>开始/暂停 修饰键</source>
        <translation>Start/Pause modifier</translation>
    </message>
    <message>
        <source>+</source>
        <translation>+</translation>
    </message>
    <message>
        <source>开始/暂停 按键</source>
        <translation>Start/Pause key</translation>
    </message>
    <message>
        <source>停止</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>停止 修饰键</source>
        <translation>Stop modifier</translation>
    </message>
    <message>
        <source>停止 按键</source>
        <translation>Stop key</translation>
    </message>
    <message>
        <source>保存热键</source>
        <translation>Save hot keys</translation>
    </message>
    <message>
        <source>注册新的热键；设置失败时原来的热键继续有效</source>
        <translation>Registers the new hot keys; when one fails the old one keeps working</translation>
    </message>
    <message>
        <source>关闭主窗口</source>
        <translation>On close</translation>
    </message>
    <message>
        <source>退出程序</source>
        <translation>Quit</translation>
    </message>
    <message>
        <source>最小化窗口</source>
        <translation>Minimise</translation>
    </message>
    <message>
        <source>保存位置</source>
        <translation>Save to</translation>
    </message>
    <message>
        <source>默认目录</source>
        <translation>Default folder</translation>
    </message>
    <message>
        <source>文档文件夹下的 TARN屏幕录制</source>
        <translation>TARN屏幕录制 in the Documents folder</translation>
    </message>
    <message>
        <source>自定义目录</source>
        <translation>Custom folder</translation>
    </message>
    <message>
        <source>保存目录</source>
        <translation>Recordings folder</translation>
    </message>
    <message>
        <source>更改</source>
        <translation>Change</translation>
    </message>
    <message>
        <source>选择录制文件的保存目录</source>
        <translation>Choose the folder for recordings</translation>
    </message>
    <message>
        <source>打开</source>
        <translation>Open</translation>
    </message>
    <message>
        <source>在文件管理器中打开保存目录</source>
        <translation>Open the recordings folder in the file manager</translation>
    </message>
</context>
<context>
    <name>Suspend</name>
    <message>
        <source>录制控制</source>
        <translation>Recording control</translation>
    </message>
    <message>
        <source>拖动可移动位置</source>
        <translation>Drag to move</translation>
    </message>
    <message>
        <source>00:00:00</source>
        <translation>00:00:00</translation>
    </message>
    <message>
        <source>继续录制</source>
        <translation>Resume</translation>
    </message>
    <message>
        <source>暂停录制</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>停止录制</source>
        <translation>Stop</translation>
    </message>
</context>
<context>
    <name>TarnRecorder</name>
    <message>
        <source>屏幕画笔</source>
        <translation>Screen brush</translation>
    </message>
    <message>
        <source>录制完成</source>
        <translation>Recording finished</translation>
    </message>
    <message>
        <source>保存在 </source>
        <translation>Saved in </translation>
    </message>
    <message>
        <source>打开</source>
        <translation>Open</translation>
    </message>
    <message>
        <source>播放</source>
        <translation>Play</translation>
    </message>
    <message>
        <source>打开文件夹</source>
        <translation>Open folder</translation>
    </message>
    <message>
        <source>无法打开录制文件: </source>
        <translation>Cannot open the recording: </translation>
    </message>
    <message>
        <source>无法打开文件夹: </source>
        <translation>Cannot open the folder: </translation>
    </message>
    <message>
        <source>高清视频录制软件</source>
        <translation>HD screen recorder</translation>
    </message>
    <message>
        <source>录制中...</source>
        <translation>Recording...</translation>
    </message>
    <message>
        <source>暂停录制...</source>
        <translation>Paused...</translation>
    </message>
    <message>
        <source>已停止...</source>
        <translation>Stopped...</translation>
    </message>
    <message>
        <source>TARN屏幕录制</source>
        <translation>TARN Screen Recorder</translation>
    </message>
    <message>
        <source>获取视频设备失败</source>
        <translation>No video capture device found</translation>
    </message>
    <message>
        <source>获取音频设备失败</source>
        <translation>No audio capture device found</translation>
    </message>
    <message>
        <source>开始录制失败,请检查保存目录</source>
        <translation>Recording could not start. Please check the recordings folder</translation>
    </message>
    <message>
        <source>正在录制中,确定要退出吗?</source>
        <translation>A recording is running. Quit anyway?</translation>
    </message>
    <message>
        <source>确定要将“%1”移到回收站吗?</source>
        <translation>Move &quot;%1&quot; to the trash?</translation>
    </message>
    <message>
        <source>无法将“%1”移到回收站(%2)。要永久删除它吗?</source>
        <translation>&quot;%1&quot; cannot be moved to the trash (%2). Delete it for good?</translation>
    </message>
    <message>
        <source>无法删除: </source>
        <translation>Cannot delete: </translation>
    </message>
    <message>
        <source>录制文件未能完整保存: </source>
        <translation>The recording could not be saved completely: </translation>
    </message>
    <message>
        <source>开始录制失败,无法录制屏幕: </source>
        <translation>Recording could not start, the screen cannot be recorded: </translation>
    </message>
    <message>
        <source>开始录制失败,帧率无效: </source>
        <translation>Recording could not start, invalid frame rate: </translation>
    </message>
    <message>
        <source>开始录制失败,无法编码: </source>
        <translation>Recording could not start, encoding failed: </translation>
    </message>
    <message>
        <source>有任务正在进行,确定要退出吗?</source>
        <translation>Jobs are still running. Quit anyway?</translation>
    </message>
    <message>
        <source>录制已结束: </source>
        <translation>The recording has ended: </translation>
    </message>
    <message>
        <source>录制中不能更改，停止录制后再选择</source>
        <translation>Cannot be changed while recording; stop the recording first</translation>
    </message>
    <message>
        <source>没有找到摄像头</source>
        <translation>No camera found</translation>
    </message>
    <message>
        <source>摄像头预览已关闭，摄像头用于录制</source>
        <translation>The camera preview was closed: the camera is recording</translation>
    </message>
    <message>
        <source>水印无法添加，本次录制不带水印</source>
        <translation>The watermark cannot be added: this recording has none</translation>
    </message>
    <message>
        <source>Video (*.mp4 *.flv *.wmv *.avi *.mov *.mkv *.3gp)</source>
        <translation>Video (*.mp4 *.flv *.wmv *.avi *.mov *.mkv *.3gp)</translation>
    </message>
    <message>
        <source>继续录制</source>
        <translation>Resume</translation>
    </message>
    <message>
        <source>开始录制</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>录制中</source>
        <translation>Recording</translation>
    </message>
    <message>
        <source>已暂停</source>
        <translation>Paused</translation>
    </message>
    <message>
        <source>录制时长</source>
        <translation>Duration</translation>
    </message>
    <message>
        <source>开始录制 (%1)</source>
        <translation>Start recording (%1)</translation>
    </message>
    <message>
        <source>暂停录制 (%1)</source>
        <translation>Pause recording (%1)</translation>
    </message>
    <message>
        <source>停止录制 (%1)</source>
        <translation>Stop recording (%1)</translation>
    </message>
    <message>
        <source>该目录没有写入权限!</source>
        <translation>This folder is not writable!</translation>
    </message>
    <message>
        <source>选择视频存放目录</source>
        <translation>Choose the folder for recordings</translation>
    </message>
    <message>
        <source>麦克风音量</source>
        <translation>Microphone level</translation>
    </message>
    <message>
        <source>系统声音音量</source>
        <translation>System sound level</translation>
    </message>
    <message>
        <source>，</source>
        <translation>, </translation>
    </message>
    <message>
        <source>麦克风没有声音</source>
        <translation>No sound from the mic</translation>
    </message>
    <message>
        <source>系统声音没有声音</source>
        <translation>No system sound</translation>
    </message>
    <message>
        <source>麦克风不可用：没有找到设备，或声音服务没有响应</source>
        <translation>Microphone unavailable: no device found, or the sound server does not answer</translation>
    </message>
    <message>
        <source>系统声音不可用：没有找到扬声器，或声音服务没有响应</source>
        <translation>System sound unavailable: no speaker found, or the sound server does not answer</translation>
    </message>
    <message>
        <source>时长未知</source>
        <translation>duration unknown</translation>
    </message>
    <message>
        <source>重命名</source>
        <translation>Rename</translation>
    </message>
    <message>
        <source>请输入新的文件名!</source>
        <translation>Please enter a new file name!</translation>
    </message>
    <message>
        <source>正在录制 </source>
        <translation>Recording </translation>
    </message>
    <message>
        <source>准备录制 00:00:00</source>
        <translation>Ready 00:00:00</translation>
    </message>
    <message>
        <source>宽度: %1, 高度: %2</source>
        <translation>Size: %1 x %2</translation>
    </message>
    <message>
        <source>双击选择录制区域</source>
        <translation>Double-click to record</translation>
    </message>
    <message>
        <source>摄像头无法打开</source>
        <translation>The camera cannot be opened</translation>
    </message>
    <message>
        <source>未检测到摄像头</source>
        <translation>No camera detected</translation>
    </message>
    <message>
        <source>当前热键: 开始/暂停 %1, 停止 %2</source>
        <translation>Current hot keys: start/pause %1, stop %2</translation>
    </message>
    <message>
        <source>图像文件(*.bmp *.jpg *.png)</source>
        <translation>Images (*.bmp *.jpg *.png)</translation>
    </message>
    <message>
        <source>正在录制中,更改将在下次录制时生效</source>
        <translation>A recording is running: changes apply to the next one</translation>
    </message>
    <message>
        <source>设置</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>选择水印图片</source>
        <translation>Choose the watermark image</translation>
    </message>
    <message>
        <source>[开始/暂停], 热键设置失败!</source>
        <translation>[Start/Pause]: the hot key could not be set!</translation>
    </message>
    <message>
        <source>[开始/暂停], 热键设置成功!</source>
        <translation>[Start/Pause]: the hot key is set!</translation>
    </message>
    <message>
        <source>[停止], 热键设置失败!</source>
        <translation>[Stop]: the hot key could not be set!</translation>
    </message>
    <message>
        <source>[停止], 热键设置成功!</source>
        <translation>[Stop]: the hot key is set!</translation>
    </message>
    <message>
        <source>视频画面</source>
        <translation>Video picture</translation>
    </message>
    <message>
        <source>实际开始位置: </source>
        <translation>Actual start: </translation>
    </message>
    <message>
        <source>找不到关键帧</source>
        <translation>No keyframe found</translation>
    </message>
    <message>
        <source>已取消</source>
        <translation>Cancelled</translation>
    </message>
    <message>
        <source>请选择截取位置</source>
        <translation>Please choose the start and end</translation>
    </message>
    <message>
        <source>结束位置必须大于开始位置</source>
        <translation>The end must be after the start</translation>
    </message>
    <message>
        <source>请先添加视频</source>
        <translation>Please add a video first</translation>
    </message>
    <message>
        <source>请先播放视频</source>
        <translation>Please play the video first</translation>
    </message>
    <message>
        <source>失败</source>
        <translation>Failed</translation>
    </message>
    <message>
        <source>未找到 ffmpeg</source>
        <translation>ffmpeg not found</translation>
    </message>
    <message>
        <source>Left: %1, Top: %2</source>
        <translation>Left: %1, Top: %2</translation>
    </message>
</context>
<context>
    <name>ToolWindow</name>
    <message>
        <source>ToolWindow</source>
        <translation>ToolWindow</translation>
    </message>
    <message>
        <source>0 x 0</source>
        <translation>0 x 0</translation>
    </message>
    <message>
        <source>准备录制 00:00:00</source>
        <translation>Ready 00:00:00</translation>
    </message>
    <message>
        <source>退出区域录制</source>
        <translation>Leave region recording</translation>
    </message>
    <message>
        <source>✕</source>
        <translation>✕</translation>
    </message>
</context>
<context>
    <name>UpdateFlow</name>
    <message>
        <source>没有发现新版本!</source>
        <translation>No new version found!</translation>
    </message>
    <message>
        <source>发现新版本啦!</source>
        <translation>A new version is available!</translation>
    </message>
</context>
<context>
    <name>UserDefineRegion</name>
    <message>
        <source>UserDefineRegion</source>
        <translation>UserDefineRegion</translation>
    </message>
</context>
<context>
    <name>VideoListContainerElement</name>
    <message>
        <source>播放</source>
        <translation>Play</translation>
    </message>
    <message>
        <source>剪辑</source>
        <translation>Cut</translation>
    </message>
    <message>
        <source>剪切</source>
        <translation>Cut</translation>
    </message>
    <message>
        <source>更多</source>
        <translation>More</translation>
    </message>
</context>
<context>
    <name>VideoMask</name>
    <message>
        <source>VideoMask</source>
        <translation>VideoMask</translation>
    </message>
</context>
</TS>
