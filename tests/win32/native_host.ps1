# A native Windows host, as the relay's users are: .NET's Process with redirected standard
# streams, which can send the relay no signal and ends it with TerminateProcess. On Cygwin:
#   pwsh tests/win32/native_host.ps1 -Relay build/default/brimel.exe [-Cygwin C:\cygwin]
# A 0x03 written to the relay interrupts a sleep and the shell answers; Kill() of the relay hangs
# the session up within 2 s: the shell's HUP trap writes a file, and its background sleep ends.
param([Parameter(Mandatory)] [string] $Relay, [string] $Cygwin = 'C:\cygwin')
$ErrorActionPreference = 'Stop'
$work = Join-Path ([IO.Path]::GetTempPath()) "brimel-host-$PID"
New-Item -ItemType Directory -Path $work | Out-Null
$hup = Join-Path $work 'hup'

# The command, from a file in its working folder: no quoting on Windows' command line.
$script = @'
trap 'echo hup >hup; exit 1' HUP
trap 'echo interrupted' INT
read -r line
sh -c 'echo sleeping; exec sleep 30'
echo "sleep ended $?"
sleep 1000 &
echo "job $!"
read -r line
'@
[IO.File]::WriteAllText((Join-Path $work 'host.sh'), $script.Replace("`r`n", "`n"))
$start = [Diagnostics.ProcessStartInfo]::new((Resolve-Path $Relay).Path)
foreach ($argument in @('-n', '/bin/sh', 'host.sh')) { $start.ArgumentList.Add($argument) }
$start.WorkingDirectory = $work
$start.UseShellExecute = $false
$start.RedirectStandardInput = $true
$start.RedirectStandardOutput = $true
$start.StandardInputEncoding = [Text.UTF8Encoding]::new($false)
$start.Environment['PATH'] = "$Cygwin\bin;" + $start.Environment['PATH']
$start.Environment['VELDRIN_PROCESS_ID'] = "$PID"
$start.Environment['BRIMEL_INTERRUPT'] = '1'
$relay = [Diagnostics.Process]::Start($start)
$relay.StandardInput.AutoFlush = $true

function Fail([string] $why) {
    Write-Host "native host: FAILED: $why"
    if (-not $relay.HasExited) { $relay.Kill() }
    exit 1
}

# The relay's next line, within 20 s.
function Expect-Line([string] $pattern) {
    $task = $relay.StandardOutput.ReadLineAsync()
    if (-not $task.Wait(20000)) { Fail "no line like '$pattern' within 20 s" }
    if ($task.Result -notmatch $pattern) { Fail "'$($task.Result)' where '$pattern' was due" }
    Write-Host "native host: $($task.Result)"
    return $task.Result
}

# True once the condition holds, looked at every 50 ms for at most 2 s.
function Within-Two-Seconds([scriptblock] $condition) {
    for ($i = 0; $i -lt 40; $i++) {
        if (& $condition) { return $true }
        Start-Sleep -Milliseconds 50
    }
    return $false
}

function Cygwin-Process-Runs([string] $id) {
    & "$Cygwin\bin\sh.exe" -c "test -d /proc/$id"
    return $LASTEXITCODE -eq 0
}

$relay.StandardInput.Write("go`n")
Expect-Line '^sleeping$' | Out-Null
$relay.StandardInput.Write([string][char]3)
Expect-Line '^interrupted$' | Out-Null
Expect-Line '^sleep ended 130$' | Out-Null
$job = (Expect-Line '^job [0-9]+$').Split(' ')[1]

$relay.Kill()
if (-not (Within-Two-Seconds { Test-Path $hup })) { Fail 'no SIGHUP reached the shell in 2 s' }
if (-not (Within-Two-Seconds { -not (Cygwin-Process-Runs $job) })) {
    & "$Cygwin\bin\kill.exe" -9 $job
    Fail "the session's sleep $job still runs 2 s after its hang-up"
}
Remove-Item -Recurse -Force $work
Write-Host 'native host: passed'
