# camera-info on a Windows host, for the fleet playbook: runs the program
# that was copied into <folder> there, stopped (with whatever it started) if
# it takes longer than <seconds>, hands back its report or why there is none,
# and removes the folder whatever happens. It prints "taken <UTC time>",
# then either "report base64" and the report's bytes so encoded, untouched,
# for the controller to check, or "error <why>".
#   run-windows.ps1 <folder> <program's file name> <seconds> <most bytes>
param([string]$Folder, [string]$Program, [int]$Seconds, [long]$Most)
$ErrorActionPreference = 'Stop'
# The folder as the playbook names it (%TEMP%\...), as the copy made it.
$Folder = [Environment]::ExpandEnvironmentVariables($Folder)
try {
    "taken " + [DateTime]::UtcNow.ToString('yyyy-MM-ddTHH:mm:ssZ')
    # What another program in its place would print goes to files, never
    # into what this script prints.
    $err = Join-Path $Folder 'camera-info.err'
    $run = Start-Process -FilePath (Join-Path $Folder $Program) -WorkingDirectory $Folder -NoNewWindow -PassThru `
        -RedirectStandardOutput (Join-Path $Folder 'camera-info.out') -RedirectStandardError $err
    $null = $run.Handle  # keeps the exit code once the process has ended
    if (-not $run.WaitForExit($Seconds * 1000)) {
        & taskkill.exe /PID $run.Id /T /F 2>&1 | Out-Null
        "error camera-info took longer than $Seconds s"
    } elseif ($run.ExitCode -ne 0) {
        $said = Get-Content -LiteralPath $err -Tail 1 -ErrorAction SilentlyContinue
        "error camera-info could not run (exit code $($run.ExitCode)): $said"
    } else {
        $report = Join-Path $Folder 'CameraInfo.txt'
        if (-not (Test-Path -LiteralPath $report -PathType Leaf)) {
            "error camera-info wrote no report in its folder $Folder"
        } else {
            $size = (Get-Item -LiteralPath $report).Length
            if ($size -gt $Most) {
                "error the report is $size bytes, more than the limit of $Most"
            } else {
                "report base64"
                [Convert]::ToBase64String([IO.File]::ReadAllBytes($report))
            }
        }
    }
} catch {
    "error camera-info could not run: " + $_.Exception.Message
} finally {
    Set-Location -LiteralPath ([IO.Path]::GetTempPath())
    Remove-Item -LiteralPath $Folder -Recurse -Force -ErrorAction SilentlyContinue
}
